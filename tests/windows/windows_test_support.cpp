#include "windows_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "encoder/objectmodel.h"

namespace wintest {

Symbol::Symbol(const char* data, int versionWord, int ecLevel)
    : handle_(qrkit().QRCodeEncode2(data, versionWord, ecLevel)) {}

Symbol::~Symbol() {
    if (handle_ != nullptr) qrkit().DestroyQRCodeEncodeResult(handle_);
}

std::uint32_t Symbol::references() const {
    const std::uint32_t count = handle_->AddRef() - 1;
    handle_->Release();
    return count;
}

std::vector<std::string> moduleRows(QRCODE_RESULT handle) {
    std::vector<std::string> rows;
    void* view = nullptr;
    if (handle == nullptr ||
        handle->QueryInterface(kelvane2::IID_I2DBitPattern, &view) != kelvane2::kStatusOk) {
        return rows;
    }
    auto* pattern = static_cast<kelvane2::I2DBitPattern*>(view);
    for (int i = 0; i < pattern->getRows(); ++i) {
        std::string row;
        for (int j = 0; j < pattern->getColumns(); ++j)
            row += (pattern->getModule(i, j) & 1) != 0 ? '#' : '.';
        rows.push_back(row);
    }
    pattern->Release();
    return rows;
}

std::string fontString(QRCODE_RESULT handle, const char* separator) {
    const char* text = qrkit().QRCodeResultGetBarcodeString2(handle, separator);
    return text == nullptr ? "<null>" : text;
}

std::string packRows(const std::vector<std::string>& rows, const char* separator) {
    std::string text;
    for (std::size_t band = 0; band < rows.size(); band += 4) {
        if (band != 0) text += separator;
        for (std::size_t column = 0; column < rows[band].size(); ++column) {
            int digit = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                digit <<= 1;
                if (band + k < rows.size() && rows[band + k][column] == '#') digit |= 1;
            }
            text += "0123456789ABCDEF"[digit];
        }
    }
    return text;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string goldenPath(const std::string& name) {
    return programFolder() + "golden\\" + name;
}

ScratchDir::ScratchDir(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "qrkit-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = path_ + "\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveDirectoryA(path.c_str());
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

HGlobalStream::HGlobalStream() {
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream_))) stream_ = nullptr;
}

HGlobalStream::~HGlobalStream() {
    if (stream_ != nullptr) stream_->Release();
}

Bytes HGlobalStream::contents() const {
    STATSTG stat{};
    HGLOBAL memory = nullptr;
    if (FAILED(stream_->Stat(&stat, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(stream_, &memory))) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
    Bytes copy(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return copy;
}

std::uint64_t HGlobalStream::position() const {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER now{};
    stream_->Seek(zero, STREAM_SEEK_CUR, &now);
    return now.QuadPart;
}

HRESULT STDMETHODCALLTYPE RecordingStream::QueryInterface(REFIID id, void** out) {
    ++otherCalls;
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream) ||
        IsEqualIID(id, IID_IStream)) {
        *out = this;
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE RecordingStream::Write(const void* bytes, ULONG size, ULONG* written) {
    ++writeCalls;
    if (failFrom != 0 && writeCalls >= failFrom) {
        if (written != nullptr) *written = 0;
        return STG_E_MEDIUMFULL;
    }
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    data.insert(data.end(), from, from + size);
    if (written != nullptr) *written = size;
    return S_OK;
}

Bytes metafileBits(HENHMETAFILE metafile) {
    const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
    Bytes bytes(size);
    if (size != 0 && GetEnhMetaFileBits(metafile, size, bytes.data()) != size) bytes.clear();
    return bytes;
}

std::vector<PngChunk> pngChunks(const Bytes& png) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<PngChunk> chunks;
    if (png.size() < 8 || !std::equal(kSignature, kSignature + 8, png.begin())) return chunks;
    Bytes compressed;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = (std::uint32_t{png[at]} << 24) | (std::uint32_t{png[at + 1]} << 16) |
                                     (std::uint32_t{png[at + 2]} << 8) | png[at + 3];
        if (at + 12 + length > png.size()) return {};
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        const auto data = png.begin() + at + 8;
        if (type == "IDAT") {
            if (chunks.empty() || chunks.back().type != "IDAT") chunks.push_back({type, {}});
            compressed.insert(compressed.end(), data, data + length);
        } else {
            chunks.push_back({type, Bytes(data, data + length)});
        }
        at += 12 + length;
    }
    for (PngChunk& chunk : chunks) {
        if (chunk.type != "IDAT") continue;
        Bytes inflated(1 << 20);
        uLongf size = static_cast<uLongf>(inflated.size());
        if (uncompress(inflated.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) !=
            Z_OK) {
            return {};
        }
        inflated.resize(size);
        chunk.data = inflated;
    }
    return chunks;
}

}  // namespace wintest
