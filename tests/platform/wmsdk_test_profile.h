// The WMA 128 kbit/s profile text the writer tests start from, and a helper
// that changes one attribute of it.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace wmsdk_test {

inline const std::string kProfileCbr128 =
    R"(<profile version="589824" storageformat="1" name="05" description="128kbps"> <streamconfig )"
    R"(majortype="{73647561-0000-0010-8000-00AA00389B71}" streamnumber="1" streamname="Audio Stream" )"
    R"(inputname="Audio409" bitrate="128016" bufferwindow="-1" reliabletransport="0" decodercomplexity="" )"
    R"(rfc1766langid="en-us"> <wmmediatype subtype="{00000161-0000-0010-8000-00AA00389B71}" )"
    R"(bfixedsizesamples="1" btemporalcompression="0" lsamplesize="5945"> <waveformatex wFormatTag="353" )"
    R"(nChannels="2" nSamplesPerSec="44100" nAvgBytesPerSec="16002" nBlockAlign="5945" wBitsPerSample="16" )"
    R"(codecdata="008800000F00E55C0000"/> </wmmediatype> </streamconfig> </profile>)";

// `s` with the first `from` replaced by `to` (which must be there).
inline std::string Replace(std::string s, const std::string& from, const std::string& to) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

}  // namespace wmsdk_test
