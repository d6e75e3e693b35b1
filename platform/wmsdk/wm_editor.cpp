#include "wm_editor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "utf16.h"
#include "wm_writer.h"

namespace wmsdk {
namespace {

constexpr size_t kMaxPathUnits = 4096;

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) bytes.resize(static_cast<size_t>(info.st_size));
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        ok = got > 0;
        if (ok) done += static_cast<size_t>(got);
    }
    ::close(fd);
    return ok;
}

// `head` then `tail` into a new file beside `path`, which then takes its name.
bool ReplaceFile(const std::string& path, std::span<const uint8_t> head, std::span<const uint8_t> tail) {
    struct stat info {};
    const mode_t mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = true;
    for (std::span<const uint8_t> part : {head, tail}) {
        for (size_t done = 0; ok && done < part.size();) {
            const ssize_t put = ::write(fd, part.data() + done, part.size() - done);
            if (put < 0 && errno == EINTR) continue;
            ok = put > 0;
            if (ok) done += static_cast<size_t>(put);
        }
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    errno = error != 0 ? error : EIO;
    return false;
}

}  // namespace

HRESULT WmEditor::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IWMMetadataEditor) {
        *object = static_cast<IWMMetadataEditor*>(this);
    } else if (iid == IID_IWMHeaderInfo || iid == IID_IWMHeaderInfo3) {
        *object = static_cast<IWMHeaderInfo3*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG WmEditor::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG WmEditor::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT WmEditor::Open(LPCWSTR fileName) {
    if (open_) return E_UNEXPECTED;
    if (!fileName) return E_POINTER;
    const auto length = BoundedLength(fileName, kMaxPathUnits);
    if (!length || *length == 0) return E_INVALIDARG;
    auto path = Utf16ToFileName(std::u16string_view(fileName, *length));
    if (!path) return E_INVALIDARG;
    try {
        std::vector<uint8_t> file;
        if (!ReadFile(*path, file)) return E_FAIL;
        if (!ReadAsfMetadata(file, metadata_)) return E_INVALIDARG;
        path_ = std::move(*path);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    open_ = true;
    return S_OK;
}

HRESULT WmEditor::Close() {
    if (!open_) return E_UNEXPECTED;
    open_ = false;
    metadata_ = {};
    path_.clear();
    return S_OK;
}

HRESULT WmEditor::Flush() {
    if (!open_) return E_UNEXPECTED;
    try {
        // The file is read again: it is replaced by what it holds now.
        std::vector<uint8_t> file;
        if (!ReadFile(path_, file)) return E_FAIL;
        size_t oldEnd = 0;
        const std::vector<uint8_t> header = RebuildAsfHeader(file, metadata_, oldEnd);
        if (header.empty()) return E_INVALIDARG;
        if (!ReplaceFile(path_, header, std::span<const uint8_t>(file).subspan(oldEnd))) return E_WRITE_FAULT;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return Close();
}

HRESULT WmEditor::SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                               WORD length) {
    if (!open_) return E_UNEXPECTED;
    if (streamNumber != 0) return E_INVALIDARG;
    if (!name || (!value && length > 0)) return E_POINTER;
    try {
        return SetAsfAttribute(metadata_, name, type, value, length);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WmEditor::AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                               const BYTE* value, DWORD length) {
    if (!open_) return E_UNEXPECTED;
    if (streamNumber != 0 || language != 0 || length > 0xFFFF) return E_INVALIDARG;
    if (!name || (!value && length > 0)) return E_POINTER;
    if (index) *index = 0;
    try {
        return SetAsfAttribute(metadata_, name, type, value, length, /*replace=*/false);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace wmsdk

HRESULT WMCreateEditor(IWMMetadataEditor** editor) {
    if (!editor) return E_POINTER;
    *editor = new (std::nothrow) wmsdk::WmEditor();
    return *editor ? S_OK : E_OUTOFMEMORY;
}
