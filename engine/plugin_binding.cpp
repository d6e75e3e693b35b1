#include "plugin_binding.h"

#include <dlfcn.h>

#include "output_format.h"

namespace cadrix {

namespace {

template <typename Proc>
Proc Lookup(void* module, const char* name) {
    // dlsym hands back an object pointer; POSIX guarantees it converts to a
    // function pointer.
    return reinterpret_cast<Proc>(dlsym(module, name));
}

}  // namespace

ModuleHandle LoadPluginModule(int32_t format) {
    const OutputFormatInfo* info = FindOutputFormat(format);
    if (info == nullptr || info->moduleFile == nullptr) return {};
    return LoadModule(info->moduleFile);
}

bool BindPluginEntryPoints(OutputSession& session) {
    session.openOutput = nullptr;
    session.closeOutput = nullptr;
    session.writeOutput = nullptr;
    if (session.pluginModule == nullptr) return false;
    session.openOutput = Lookup<OpenOutputProc>(session.pluginModule, "OpenOutput");
    session.closeOutput = Lookup<CloseOutputProc>(session.pluginModule, "CloseOutput");
    session.writeOutput = Lookup<WriteOutputProc>(session.pluginModule, "WriteOutput");
    return session.openOutput != nullptr && session.closeOutput != nullptr &&
           session.writeOutput != nullptr;
}

void FillTrackInfo(OutputSession& session, const DriveRecord& drive, const TrackRecord& track) {
    OutputTrackInfo& info = session.trackInfo.info;
    info.trackNumber = session.currentTrack;
    info.title = track.title.c_str();
    // On a compilation the track's own artist is passed, even when empty.
    info.artist = drive.compilation != 0 ? track.artist.c_str() : drive.discArtist.c_str();
    info.album = drive.discTitle.c_str();
    info.genre = drive.genre.c_str();
    info.year = drive.year.c_str();
    info.region = drive.region.c_str();
    info.comment = track.comment.c_str();
    session.trackInfo.reserved[0] = 0;
    session.trackInfo.reserved[1] = 0;
}

bool OpenPluginOutput(OutputSession& session, const std::string& baseName) {
    if (session.openOutput == nullptr) return false;
    session.outputOpen =
        session.openOutput(baseName.c_str(), session.qualityCode, &session.trackInfo.info) != 0 ? 1
                                                                                                 : 0;
    return session.outputOpen != 0;
}

bool WritePluginBlock(OutputSession& session, const uint8_t* pcm, uint32_t byteCount) {
    // The counters move before the call, so a refused block still counts.
    session.trackBytesWritten.fetch_add(byteCount, std::memory_order_relaxed);
    session.totalBytesWritten.fetch_add(byteCount, std::memory_order_relaxed);
    if (session.writeOutput == nullptr) return false;
    return session.writeOutput(pcm, byteCount) != 0;
}

void ClosePluginOutput(OutputSession& session) {
    if (session.closeOutput != nullptr) session.closeOutput();
}

}  // namespace cadrix
