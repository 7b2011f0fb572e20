#include "services/platform_pictures.h"

#include <windows.h>
#include <wincodec.h>

#include <cstring>

#include "panes/core/entry_content.h"
#include "services/com_ptr.h"

namespace {

// COM for the length of one decode on a thread that has not entered it; a thread already
// in an apartment of either kind keeps it.
class ComForCall {
 public:
  ComForCall() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComForCall() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

bool Fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

bool FailHr(std::string* why, const char* what, HRESULT hr) {
  char text[96];
  wsprintfA(text, "%s (error 0x%08lX)", what, static_cast<unsigned long>(hr));
  return Fail(why, text);
}

// The RGBA pixels of frame 0, converted by the platform; the size is checked first.
bool CopyFrame(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, Picture* picture, std::string* why) {
  UINT width = 0, height = 0;
  HRESULT hr = frame->GetSize(&width, &height);
  if (FAILED(hr)) return FailHr(why, "the picture's size cannot be read", hr);
  if (!AllocatePicture(picture, width, height, why)) return false;
  IWICFormatConverter* rawConverter = nullptr;
  hr = factory->CreateFormatConverter(&rawConverter);
  ComPtr<IWICFormatConverter> converter(rawConverter);
  if (FAILED(hr)) return FailHr(why, "the picture cannot be converted", hr);
  hr = converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                             WICBitmapPaletteTypeCustom);
  if (FAILED(hr)) return FailHr(why, "the picture cannot be converted", hr);
  const UINT stride = width * 4;
  const UINT total = stride * height;  // at most kMaxPictureBytes, checked above
  hr = converter->CopyPixels(nullptr, stride, total, picture->rgba.get());
  if (FAILED(hr)) return FailHr(why, "the picture's pixels cannot be read", hr);
  uint8_t* p = picture->rgba.get();
  bool alpha = false;
  for (UINT i = 0; i < total; i += 4) {
    const uint8_t blue = p[i];
    p[i] = p[i + 2];
    p[i + 2] = blue;
    alpha = alpha || p[i + 3] != 0xFF;
  }
  picture->hasAlpha = alpha;
  return true;
}

// The stored depth of the frame's pixel format, as the caption gives it.
uint8_t StoredBits(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, bool* indexed) {
  WICPixelFormatGUID format = {};
  if (FAILED(frame->GetPixelFormat(&format))) return 0;
  IWICComponentInfo* rawInfo = nullptr;
  if (FAILED(factory->CreateComponentInfo(format, &rawInfo))) return 0;
  ComPtr<IWICComponentInfo> info(rawInfo);
  IWICPixelFormatInfo* rawFormat = nullptr;
  if (FAILED(info->QueryInterface(IID_IWICPixelFormatInfo, reinterpret_cast<void**>(&rawFormat)))) return 0;
  ComPtr<IWICPixelFormatInfo> formatInfo(rawFormat);
  UINT bits = 0;
  if (FAILED(formatInfo->GetBitsPerPixel(&bits))) return 0;
  *indexed = IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed) || IsEqualGUID(format, GUID_WICPixelFormat4bppIndexed) ||
             IsEqualGUID(format, GUID_WICPixelFormat2bppIndexed) || IsEqualGUID(format, GUID_WICPixelFormat1bppIndexed);
  return static_cast<uint8_t>(bits > 255 ? 255 : bits);
}

}  // namespace

bool PlatformGarblesLowDepthPngs() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool DecodeWithPlatform(const uint8_t* data, size_t size, Picture* picture, std::string* why) {
  *picture = Picture();
  if (!data || size == 0) return Fail(why, "the file is empty");
  if (size > UINT32_MAX) return Fail(why, "the file is too large");
  const unsigned pngBits = PngBitsPerPixel(data, size);
  if (pngBits != 0 && pngBits < 8 && PlatformGarblesLowDepthPngs())
    return Fail(why, "this system's decoder cannot convert PNGs of fewer than 8 bits a pixel");
  ComForCall com;
  if (!com.Usable()) return Fail(why, "the system's picture decoders are not available");
  IWICImagingFactory* rawFactory = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&rawFactory));
  ComPtr<IWICImagingFactory> factory(rawFactory);
  if (FAILED(hr)) return FailHr(why, "the system's picture decoders are not available", hr);
  IWICStream* rawStream = nullptr;
  hr = factory->CreateStream(&rawStream);
  ComPtr<IWICStream> stream(rawStream);
  if (FAILED(hr)) return FailHr(why, "no memory for the picture", hr);
  // The stream only reads: the platform's signature takes a writable pointer all the same.
  hr = stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
  if (FAILED(hr)) return FailHr(why, "no memory for the picture", hr);
  IWICBitmapDecoder* rawDecoder = nullptr;
  hr = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &rawDecoder);
  ComPtr<IWICBitmapDecoder> decoder(rawDecoder);
  if (FAILED(hr)) return FailHr(why, "the picture is damaged or of a kind the system does not read", hr);
  IWICBitmapFrameDecode* rawFrame = nullptr;
  hr = decoder->GetFrame(0, &rawFrame);
  ComPtr<IWICBitmapFrameDecode> frame(rawFrame);
  if (FAILED(hr)) return FailHr(why, "the picture's first frame cannot be read", hr);
  bool indexed = false;
  const uint8_t bits = StoredBits(factory, frame, &indexed);
  if (!CopyFrame(factory, frame, picture, why)) {
    *picture = Picture();
    return false;
  }
  picture->bits = bits;
  picture->indexed = indexed;
  return true;
}
