// The host side of the encoder plug-in contract (cadrix_plugin.h): loading a
// format's module, binding its three entry points, and the plug-in branch of
// the session's open / write / close.
#pragma once

#include <cstdint>
#include <string>

#include "module_loader.h"
#include "output_session.h"

namespace cadrix {

// Loads the plug-in module of `format` (cadrix_ogg.so or cadrix_wma.so) by
// the module search path; empty for FORMAT_PCM, an unknown format, or a
// module that is missing or does not load.
ModuleHandle LoadPluginModule(int32_t format);

// Looks up OpenOutput, CloseOutput and WriteOutput (in that order) in
// session.pluginModule; true when the module and all three are there.
bool BindPluginEntryPoints(OutputSession& session);

// Fills session.trackInfo for the current track with the disc record's raw
// texts (not the sanitised file-name copies).
void FillTrackInfo(OutputSession& session, const DriveRecord& drive, const TrackRecord& track);

// The plug-in branches; `baseName` is the output path without extension.
bool OpenPluginOutput(OutputSession& session, const std::string& baseName);
bool WritePluginBlock(OutputSession& session, const uint8_t* pcm, uint32_t byteCount);
void ClosePluginOutput(OutputSession& session);

}  // namespace cadrix
