#include "wma_fake_writer.h"

#include <algorithm>

FakeSdk* currentFake = nullptr;

namespace {

template <class Interface>
class FakeObject : public Interface {
public:
    FakeObject() { ++currentFake->liveObjects; }
    virtual ~FakeObject() { --currentFake->liveObjects; }
    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG refs_ = 1;
};

bool Failing(FakeSdk::Fail f) { return currentFake->fail == f; }

class FakeBuffer final : public FakeObject<INSSBuffer> {
public:
    explicit FakeBuffer(DWORD size) : data_(size), length_(size) {}
    HRESULT GetLength(DWORD* l) override {
        *l = length_;
        return S_OK;
    }
    HRESULT SetLength(DWORD l) override {
        if (Failing(FakeSdk::Fail::SetLength) || l > data_.size()) return E_FAIL;
        length_ = l;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* l) override {
        *l = static_cast<DWORD>(data_.size());
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** b) override {
        *b = data_.data();
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** b, DWORD* l) override {
        if (Failing(FakeSdk::Fail::GetBufferAndLength)) return E_FAIL;
        *b = data_.data();
        *l = length_;
        return S_OK;
    }
    std::vector<BYTE> data_;
    DWORD length_;
};

class FakeProfile final : public FakeObject<IWMProfile> {
public:
    HRESULT GetName(WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetStreamCount(DWORD* c) override {
        *c = 1;
        return S_OK;
    }
};

class FakeProfileManager final : public FakeObject<IWMProfileManager> {
public:
    HRESULT LoadProfileByData(LPCWSTR text, IWMProfile** profile) override {
        currentFake->loadedProfile.assign(text, text + 740);
        if (Failing(FakeSdk::Fail::LoadProfile)) return E_INVALIDARG;
        *profile = new FakeProfile;
        return S_OK;
    }
};

class FakeHeaderInfo final : public FakeObject<IWMHeaderInfo> {
public:
    HRESULT SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value, WORD length) override {
        if (stream != 0) return E_INVALIDARG;
        currentFake->attributes.push_back({name, type, std::vector<uint8_t>(value, value + length)});
        return S_OK;
    }
};

class FakeWriter final : public FakeObject<IWMWriter> {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid != IID_IWMHeaderInfo || Failing(FakeSdk::Fail::QueryHeaderInfo)) return E_NOINTERFACE;
        *object = static_cast<IWMHeaderInfo*>(new FakeHeaderInfo);
        return S_OK;
    }
    HRESULT SetProfile(IWMProfile* p) override { return p && !Failing(FakeSdk::Fail::SetProfile) ? S_OK : E_FAIL; }
    HRESULT SetOutputFilename(LPCWSTR name) override {
        currentFake->fileName = name;
        return Failing(FakeSdk::Fail::SetOutputFilename) ? E_FAIL : S_OK;
    }
    HRESULT BeginWriting() override {
        ++currentFake->beginWriting;
        return Failing(FakeSdk::Fail::BeginWriting) ? E_FAIL : S_OK;
    }
    HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override {
        if (Failing(FakeSdk::Fail::AllocateSample)) return E_OUTOFMEMORY;
        *sample = new FakeBuffer(size - std::min(size, currentFake->shortSampleBy));
        return S_OK;
    }
    HRESULT WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override {
        if (input != 0 || flags != 0 || Failing(FakeSdk::Fail::WriteSample)) return E_FAIL;
        BYTE* data;
        DWORD length;
        sample->GetBufferAndLength(&data, &length);
        currentFake->sampleTimes.push_back(time);
        currentFake->sampleLengths.push_back(length);
        currentFake->written.insert(currentFake->written.end(), data, data + length);
        return S_OK;
    }
    HRESULT EndWriting() override {
        ++currentFake->endWriting;
        return Failing(FakeSdk::Fail::EndWriting) ? E_FAIL : S_OK;
    }
};

}  // namespace

WmaPlatform FakeSdk::Install() {
    *this = FakeSdk{};
    currentFake = this;
    return {
        [](void*) -> HRESULT { return ++currentFake->coInitialized == 1 ? S_OK : S_FALSE; },
        [] { ++currentFake->coUninitialized; },
        [](IUnknown*, IWMWriter** w) -> HRESULT {
            if (Failing(Fail::CreateWriter)) return E_FAIL;
            *w = new FakeWriter;
            return S_OK;
        },
        [](IWMProfileManager** m) -> HRESULT {
            if (Failing(Fail::CreateProfileManager)) return E_FAIL;
            *m = new FakeProfileManager;
            return S_OK;
        },
    };
}
