// Replaced when texture loading lands.
