// The plug-in sink: the host side of the encoder plug-in contract
// (cadrix_plugin.h). The entry points are bound once per run; the optional
// ones only when the module has them.
#include <dlfcn.h>

#include <filesystem>

#include "output/output_format.h"
#include "output/output_sink.h"

namespace cadrix {

namespace {

template <typename Proc>
Proc Lookup(void* module, const char* name) {
    // dlsym hands back an object pointer; POSIX guarantees it converts to a
    // function pointer.
    return reinterpret_cast<Proc>(dlsym(module, name));
}

// The file a plug-in wrote for `baseName`: it appends an extension of its
// own choice, so it is the newest regular file named "<baseName>.<extension>"
// (an older one may be left from a rip in another format); `baseName` itself
// when there is none.
std::string WrittenFile(const std::string& baseName) {
    namespace fs = std::filesystem;
    const fs::path base(baseName);
    const std::string prefix = base.filename().string() + ".";
    std::string newest = baseName;
    fs::file_time_type newestTime = fs::file_time_type::min();
    std::error_code listing;
    for (fs::directory_iterator it(base.parent_path(), listing), end; !listing && it != end; it.increment(listing)) {
        const std::string name = it->path().filename().string();
        std::error_code entry;
        if (name.size() <= prefix.size() || !name.starts_with(prefix) || !it->is_regular_file(entry)) continue;
        const fs::file_time_type time = it->last_write_time(entry);
        if (entry || time < newestTime) continue;
        newestTime = time;
        newest = it->path().string();
    }
    return newest;
}

class PluginSink final : public OutputSink {
public:
    PluginSink(void* module, int32_t qualityCode) : qualityCode_(qualityCode) {
        openOutput_ = Lookup<OpenOutputProc>(module, "OpenOutput");
        closeOutput_ = Lookup<CloseOutputProc>(module, "CloseOutput");
        writeOutput_ = Lookup<WriteOutputProc>(module, "WriteOutput");
        setExtras_ = Lookup<SetTrackExtrasProc>(module, "SetTrackExtras");
        errorText_ = Lookup<OutputErrorTextProc>(module, "OutputErrorText");
        retag_ = Lookup<RetagOutputProc>(module, "RetagOutput");
    }
    ~PluginSink() override { Close(); }

    bool Bound() const { return openOutput_ != nullptr && closeOutput_ != nullptr && writeOutput_ != nullptr; }

    bool Open(const std::string& baseName, const OutputTrackInfo& tags, const OutputTrackExtras& extras) override {
        if (setExtras_ != nullptr) setExtras_(&extras);
        baseName_ = baseName;
        SetFilePath(baseName);
        open_ = openOutput_(baseName.c_str(), qualityCode_, &tags) != 0;
        return open_ || Fail(PluginReason("the encoder plug-in could not open '" + baseName + "'"));
    }

    bool Write(std::span<const uint8_t> pcm) override {
        if (writeOutput_(pcm.data(), static_cast<uint32_t>(pcm.size())) != 0) return true;
        return Fail(PluginReason("the encoder plug-in refused the audio"));
    }

    void Close() override {
        if (!open_) return;
        open_ = false;
        closeOutput_();
        SetFilePath(WrittenFile(baseName_));
    }

    bool CountsRefusedBlocks() const override { return true; }

    bool Retag(const std::string& path, std::span<const OutputTag> tags) override {
        if (retag_ == nullptr || open_) return false;
        return retag_(path.c_str(), tags.data(), static_cast<int32_t>(tags.size())) != 0;
    }

private:
    // The plug-in's own words when it has any.
    std::string PluginReason(std::string fallback) const {
        const char* text = errorText_ != nullptr ? errorText_() : nullptr;
        return text != nullptr && *text != '\0' ? std::string(text) : fallback;
    }

    int32_t qualityCode_;
    bool open_ = false;
    std::string baseName_;
    OpenOutputProc openOutput_ = nullptr;
    CloseOutputProc closeOutput_ = nullptr;
    WriteOutputProc writeOutput_ = nullptr;
    SetTrackExtrasProc setExtras_ = nullptr;
    OutputErrorTextProc errorText_ = nullptr;
    RetagOutputProc retag_ = nullptr;
};

}  // namespace

std::unique_ptr<OutputSink> MakePluginSink(void* module, int32_t qualityCode) {
    if (module == nullptr) return nullptr;
    auto sink = std::make_unique<PluginSink>(module, qualityCode);
    if (!sink->Bound()) return nullptr;
    return sink;
}

ModuleHandle LoadPluginModule(int32_t format) {
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr || !info->IsPlugin()) return {};
    return LoadModule(info->moduleFile);
}

}  // namespace cadrix
