// Start-up loading: every file is read whole before the first frame, and
// nothing loaded here is freed while the demo runs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/codec.h"
#include "mesh/mesh.h"
#include "shell/shell.h"
#include "texload/texload.h"

namespace shell {

uint8_t* RasmuClip = nullptr;
uint8_t* TelevisoClip = nullptr;
uint8_t* KolpoClip = nullptr;
uint8_t* LiekkiClip = nullptr;
uint8_t* HpClip = nullptr;
uint8_t* RaivoClip = nullptr;
uint8_t* MonitorClip = nullptr;
uint8_t* PallukkaFile = nullptr;
uint8_t* Aalto2File = nullptr;

IDirect3DTexture8* Taivas2Texture = nullptr;
IDirect3DTexture8* MediaTexture = nullptr;
IDirect3DTexture8* Media2Texture = nullptr;
IDirect3DTexture8* Media3Texture = nullptr;
IDirect3DTexture8* Media4Texture = nullptr;
IDirect3DTexture8* HeadlessTexture = nullptr;

namespace {

// "APUA PÄÄÄÄÄÄÄ!!" in the Windows code page the message boxes take.
const char kEmptyOrNoMemory[] = "APUA P\xC4\xC4\xC4\xC4\xC4\xC4\xC4!!";

// A file that would make the decoder or the mesh draw read outside it is
// refused here, with a box that names it, rather than trusted.
bool RefuseFile(const char* path, const std::string& problem) {
  MessageBoxA(nullptr, problem.c_str(), path, MB_OK);
  return false;
}

bool LoadClip(const char* path, uint8_t** buffer) {
  size_t size = 0;
  if (!LoadWholeFile(path, buffer, &size)) return false;
  int32_t entries = 0;
  codec::FrameError error = codec::read_clip_frame_count({*buffer, size}, &entries);
  if (error != codec::FrameError::kNone) {
    return RefuseFile(path, std::string("Not a clip file: ") + codec::describe(error));
  }
  codec::register_clip_file(*buffer, size);
  return true;
}

bool LoadMesh(const char* path, uint8_t** buffer) {
  size_t size = 0;
  if (!LoadWholeFile(path, buffer, &size)) return false;
  std::string problem;
  if (mesh::UploadMesh(*buffer, size, nullptr, &problem) < 0) return RefuseFile(path, problem);
  return true;
}

}  // namespace

bool LoadWholeFile(const char* path, uint8_t** buffer, size_t* size_bytes) {
  std::FILE* file = win32::open_file(path, "rb");
  if (file == nullptr) {
    MessageBoxA(nullptr, "File not found!", path, MB_OK);
    return false;
  }
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  if (size <= 0) {
    std::fclose(file);
    MessageBoxA(nullptr, kEmptyOrNoMemory, path, MB_OK);
    return false;
  }
  std::fseek(file, 0, SEEK_SET);
  auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  if (block == nullptr) {
    std::fclose(file);
    MessageBoxA(nullptr, kEmptyOrNoMemory, path, MB_OK);
    return false;
  }
  size_t read = std::fread(block, static_cast<size_t>(size), 1, file);
  std::fclose(file);
  if (read != 1) {
    // A file that shrank or failed while being read: handing out a
    // half-filled block would be worse than refusing it.
    std::free(block);
    MessageBoxA(nullptr, kEmptyOrNoMemory, path, MB_OK);
    return false;
  }
  *buffer = block;
  if (size_bytes != nullptr) *size_bytes = static_cast<size_t>(size);
  return true;
}

int LoadMedia() {
  if (codec::InitClipCodec() != 1) return 0;
  if (!LoadClip("data\\rasmu.dat", &RasmuClip)) return 0;
  if (!LoadClip("data\\televiso.dat", &TelevisoClip)) return 0;
  if (!LoadClip("data\\kolpo.dat", &KolpoClip)) return 0;
  if (!LoadClip("data\\liekki.dat", &LiekkiClip)) return 0;
  if (!LoadClip("data\\hp.dat", &HpClip)) return 0;
  if (!LoadClip("data\\raivo.dat", &RaivoClip)) return 0;
  if (!LoadClip("data\\monitor.dat", &MonitorClip)) return 0;
  if (!LoadMesh("obu\\pallukka.obu", &PallukkaFile)) return 0;
  if (!LoadMesh("obu\\aalto2.obu", &Aalto2File)) return 0;
  return 1;
}

HRESULT CreateResources() {
  struct Image {
    const char* path;
    IDirect3DTexture8** texture;
  };
  const Image images[] = {
      {"gfx\\taivas2.bmp", &Taivas2Texture}, {"gfx\\media.bmp", &MediaTexture},
      {"gfx\\media2.bmp", &Media2Texture},   {"gfx\\media3.bmp", &Media3Texture},
      {"gfx\\media4.bmp", &Media4Texture},   {"data\\headless.tga", &HeadlessTexture},
  };
  HRESULT result = D3D_OK;
  for (const Image& image : images) {
    result = texload::LoadTextureFile(Device, image.path, image.texture);
    if (FAILED(result)) return result;
  }
  // Every frame draws through these; without them the demo cannot run, so
  // start-up ends as it does for a missing image.
  if (!CreateClipTextures()) return E_FAIL;
  BindClipTexture();
  return result;
}

bool CreateClipTextures() {
  if (FAILED(Device->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY,
                                        D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                        D3DPOOL_DEFAULT, &ScreenQuadBuffer))) {
    return false;
  }
  struct Blank {
    UINT size;
    D3DPOOL pool;
    IDirect3DTexture8** texture;
  };
  const Blank blanks[] = {
      {128, D3DPOOL_SYSTEMMEM, &codec::ClipStagingTexture[0]},
      {128, D3DPOOL_DEFAULT, &codec::ClipTexture[0]},
      {256, D3DPOOL_SYSTEMMEM, &codec::ClipStagingTexture[1]},
      {256, D3DPOOL_DEFAULT, &codec::ClipTexture[1]},
  };
  for (const Blank& b : blanks) {
    if (FAILED(texload::CreateBlankTexture(Device, b.size, b.size, 1, 0, D3DFMT_R5G6B5, b.pool,
                                           b.texture))) {
      return false;
    }
  }
  return true;
}

}  // namespace shell
