// Replaced when the codec lands.
