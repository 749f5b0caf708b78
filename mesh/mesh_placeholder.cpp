// Replaced when the meshes land.
