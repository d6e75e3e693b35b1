// The Windows Media writer interface as cadrix_wma uses it: COM-style
// reference-counted objects, HRESULT results, UTF-16 texts. The objects behind
// it encode WMA Standard with libavcodec and write ASF files of our own.
#ifndef CADRIX_WMSDK_H
#define CADRIX_WMSDK_H

#include <cstdint>

using HRESULT = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using QWORD = uint64_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using WCHAR = char16_t;  // one UTF-16 code unit
using LPCWSTR = const WCHAR*;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// A write to the output file failed.
constexpr HRESULT E_WRITE_FAULT = static_cast<HRESULT>(0x8007001Du);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
    friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using REFIID = const IID&;

inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IWMWriter{0x96406BD4, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMHeaderInfo{0x96406BDA, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMHeaderInfo3{0x15CC68E3, 0x27CC, 0x4ECD, {0xB2, 0x22, 0x3F, 0x5D, 0x02, 0xD8, 0x0B, 0xD5}};
inline constexpr IID IID_IWMMetadataEditor{0x96406BD9,
                                           0x2B2B,
                                           0x11D3,
                                           {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMProfile{0x96406BDB, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMProfileManager{0xD16679F2,
                                           0x6CA0,
                                           0x472D,
                                           {0x8D, 0x31, 0x2F, 0x5D, 0x55, 0xAE, 0xE1, 0x55}};
inline constexpr IID IID_INSSBuffer{0xE1CD3524, 0x03D7, 0x11D2, {0x9E, 0xED, 0x00, 0x60, 0x97, 0xD2, 0xD7, 0xCF}};

// Attribute value types of IWMHeaderInfo::SetAttribute.
enum WMT_ATTR_DATATYPE {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

// Objects are created with a reference count of 1 and destroy themselves on
// the last Release; nobody deletes them directly.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// A sample buffer: a data area of GetMaxLength bytes of which GetLength are used.
struct INSSBuffer : IUnknown {
    virtual HRESULT GetLength(DWORD* length) = 0;
    virtual HRESULT SetLength(DWORD length) = 0;
    virtual HRESULT GetMaxLength(DWORD* length) = 0;
    virtual HRESULT GetBuffer(BYTE** buffer) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) = 0;

protected:
    ~INSSBuffer() = default;
};

struct IWMProfile : IUnknown {
    // name: buffer of *length units or null to ask for the length (with the terminator).
    virtual HRESULT GetName(WCHAR* name, DWORD* length) = 0;
    virtual HRESULT GetStreamCount(DWORD* count) = 0;

protected:
    ~IWMProfile() = default;
};

struct IWMProfileManager : IUnknown {
    // Parses a profile in the XML profile format.
    virtual HRESULT LoadProfileByData(LPCWSTR profile, IWMProfile** result) = 0;

protected:
    ~IWMProfileManager() = default;
};

struct IWMHeaderInfo : IUnknown {
    // streamNumber 0 = a file-level attribute. A writer takes them only
    // before BeginWriting.
    virtual HRESULT SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                 WORD length) = 0;

protected:
    ~IWMHeaderInfo() = default;
};

// Attributes of any length: a value too long for the 16-bit lengths of the
// extended content description (a picture) goes into the metadata library.
// `index` (may be null) gets nothing useful; `language` must be 0.
struct IWMHeaderInfo3 : IWMHeaderInfo {
    virtual HRESULT AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                                 const BYTE* value, DWORD length) = 0;

protected:
    ~IWMHeaderInfo3() = default;
};

// Changes the attributes of a finished file: Open reads its header, the
// IWMHeaderInfo3 of the same object sets attributes, Flush replaces the file
// with one whose header holds them (a new file takes the old one's name, so
// a reader never sees half of it) and Close lets it go without writing.
struct IWMMetadataEditor : IUnknown {
    virtual HRESULT Open(LPCWSTR fileName) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT Flush() = 0;

protected:
    ~IWMMetadataEditor() = default;
};

struct IWMWriter : IUnknown {
    virtual HRESULT SetProfile(IWMProfile* profile) = 0;
    virtual HRESULT SetOutputFilename(LPCWSTR fileName) = 0;
    virtual HRESULT BeginWriting() = 0;
    virtual HRESULT AllocateSample(DWORD size, INSSBuffer** sample) = 0;
    // time: presentation time in 100-nanosecond units.
    virtual HRESULT WriteSample(DWORD inputNumber, QWORD time, DWORD flags, INSSBuffer* sample) = 0;
    virtual HRESULT EndWriting() = 0;

protected:
    ~IWMWriter() = default;
};

// certificate must be null.
HRESULT WMCreateWriter(IUnknown* certificate, IWMWriter** writer);
HRESULT WMCreateProfileManager(IWMProfileManager** manager);
HRESULT WMCreateEditor(IWMMetadataEditor** editor);

// Per-thread initialisation count; S_OK on the first call of a thread, S_FALSE after.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// a * b / c with a 64-bit product, rounded to nearest (halves away from zero);
// -1 when c is 0 or the result does not fit 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

#endif
