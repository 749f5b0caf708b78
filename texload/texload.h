// Texture file loading's public face.
#pragma once
