// The meshes' public face.
#pragma once
