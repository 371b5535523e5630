#include "shell/network_image.h"

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>

#include "shell/com_ptr.h"
#include "shell/file_replace.h"

namespace shell {
namespace {

uint32_t Be32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3]));
}
uint32_t Be16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 8 | static_cast<unsigned char>(b[at + 1]);
}
uint32_t Le16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 | static_cast<unsigned char>(b[at]);
}
int32_t Le32(const std::string& b, size_t at) {
    return static_cast<int32_t>(Le16(b, at) | Le16(b, at + 2) << 16);
}

bool PeekJpegSize(const std::string& b, UINT& width, UINT& height) {
    size_t at = 2;
    while (at + 4 <= b.size()) {
        if (static_cast<unsigned char>(b[at]) != 0xFF) return false;
        const unsigned char marker = static_cast<unsigned char>(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const uint32_t length = Be16(b, at + 2);
        if (length < 2) return false;
        // Start-of-frame markers, not DHT (C4), JPG (C8) or DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (at + 9 > b.size()) return false;
            height = Be16(b, at + 5);
            width = Be16(b, at + 7);
            return true;
        }
        at += 2 + length;
    }
    return false;
}

bool Fits(UINT width, UINT height, const PictureLimits& limits) {
    return width > 0 && height > 0 && width <= limits.maxSourceSide && height <= limits.maxSourceSide &&
           static_cast<uint64_t>(width) * height <= limits.maxSourcePixels;
}

// COM for the calling thread, released when it was ours to release.
class ComScope {
public:
    ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

ComPtr<IWICImagingFactory> Factory() {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.put())))) {
        factory.reset();
    }
    return factory;
}

}  // namespace

bool PeekPictureSize(const std::string& b, UINT& width, UINT& height) {
    if (b.size() >= 24 && b.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) == 0 && b.compare(12, 4, "IHDR") == 0) {
        width = Be32(b, 16);
        height = Be32(b, 20);
        return true;
    }
    if (b.size() >= 10 && (b.compare(0, 6, "GIF87a") == 0 || b.compare(0, 6, "GIF89a") == 0)) {
        width = Le16(b, 6);
        height = Le16(b, 8);
        return true;
    }
    if (b.size() >= 4 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xD8) {
        return PeekJpegSize(b, width, height);
    }
    if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M') {
        const int32_t w = Le32(b, 18), h = Le32(b, 22);
        if (w <= 0 || h == INT32_MIN) return false;
        width = static_cast<UINT>(w);
        height = static_cast<UINT>(h < 0 ? -h : h);
        return true;
    }
    return false;
}

bool DecodeNetworkPicture(const std::string& bytes, DecodedPicture& out, const PictureLimits& limits) {
    out = DecodedPicture();
    if (bytes.empty() || bytes.size() > limits.maxBytes) return false;
    // The header's word first: some decoders take the whole picture into
    // memory as soon as they open it.
    UINT width = 0, height = 0;
    if (!PeekPictureSize(bytes, width, height) || !Fits(width, height, limits)) return false;

    ComPtr<IWICImagingFactory> factory = Factory();
    if (!factory) return false;
    std::vector<BYTE> data(bytes.begin(), bytes.end());  // the stream reads it in place
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(data.data(), static_cast<DWORD>(data.size())))) {
        return false;
    }
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.put()))) {
        return false;
    }
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return false;
    // The frame's own size, checked again before any pixel is asked for.
    if (FAILED(frame->GetSize(&width, &height)) || !Fits(width, height, limits)) return false;

    UINT outWidth = width, outHeight = height;
    if (width > limits.maxSide || height > limits.maxSide) {
        if (width >= height) {
            outWidth = limits.maxSide;
            outHeight = std::max<UINT>(1, static_cast<UINT>(static_cast<uint64_t>(height) * limits.maxSide / width));
        } else {
            outHeight = limits.maxSide;
            outWidth = std::max<UINT>(1, static_cast<UINT>(static_cast<uint64_t>(width) * limits.maxSide / height));
        }
    }
    ComPtr<IWICBitmapSource> source;
    source.Attach(frame.Detach());
    if (outWidth != width || outHeight != height) {
        ComPtr<IWICBitmapScaler> scaler;
        if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
            FAILED(scaler->Initialize(source.get(), outWidth, outHeight, WICBitmapInterpolationModeFant))) {
            return false;
        }
        source.Attach(scaler.Detach());
    }
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(source.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom))) {
        return false;
    }
    const UINT stride = outWidth * 4;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * outHeight);
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.size()), pixels.data()))) {
        return false;
    }
    out.width = outWidth;
    out.height = outHeight;
    out.pixels = std::move(pixels);
    return true;
}

bool EncodePng(const DecodedPicture& picture, std::string& png) {
    png.clear();
    if (picture.width == 0 || picture.height == 0 ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * 4 * picture.height) {
        return false;
    }
    ComPtr<IWICImagingFactory> factory = Factory();
    if (!factory) return false;
    ComPtr<IStream> memory;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, memory.put()))) return false;
    ComPtr<IWICBitmapEncoder> encoder;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(memory.get(), WICBitmapEncoderNoCache))) {
        return false;
    }
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(picture.width, picture.height))) {
        return false;
    }
    // PNG holds straight alpha: the decoded pixels are premultiplied.
    std::vector<BYTE> straight(picture.pixels);
    for (size_t i = 0; i + 3 < straight.size(); i += 4) {
        const unsigned a = straight[i + 3];
        if (a != 0 && a != 255) {
            for (size_t c = 0; c < 3; ++c) straight[i + c] = static_cast<BYTE>(std::min(255u, straight[i + c] * 255u / a));
        }
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) ||
        FAILED(frame->WritePixels(picture.height, picture.width * 4, static_cast<UINT>(straight.size()),
                                  straight.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit())) {
        return false;
    }
    HGLOBAL global = nullptr;
    if (FAILED(::GetHGlobalFromStream(memory.get(), &global))) return false;
    STATSTG stat = {};
    if (FAILED(memory->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart > 64u * 1024 * 1024) return false;
    const void* data = ::GlobalLock(global);
    if (data == nullptr) return false;
    png.assign(static_cast<const char*>(data), static_cast<size_t>(stat.cbSize.QuadPart));
    ::GlobalUnlock(global);
    return !png.empty();
}

bool SaveNetworkPictureAsPng(const std::string& bytes, const std::wstring& path, const PictureLimits& limits) {
    ComScope com;
    DecodedPicture picture;
    std::string png;
    if (com.ok() && DecodeNetworkPicture(bytes, picture, limits) && EncodePng(picture, png) &&
        ReplaceFileContent(path, png)) {
        return true;
    }
    ::DeleteFileW(path.c_str());
    return false;
}

}  // namespace shell
