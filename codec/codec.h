// The clip codec's public face.
#pragma once
