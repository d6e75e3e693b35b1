// A scriptable stand-in for the Windows Media writer: records what the
// plug-in asks of it and fails on request.
#ifndef CADRIX_TESTS_WMA_FAKE_WRITER_H
#define CADRIX_TESTS_WMA_FAKE_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "wma_session.h"

struct FakeAttribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type;
    std::vector<uint8_t> value;
};

struct FakeSdk {
    enum class Fail {
        Nothing,
        CreateWriter,
        CreateProfileManager,
        LoadProfile,
        SetProfile,
        SetOutputFilename,
        QueryHeaderInfo,
        BeginWriting,
        AllocateSample,
        GetBufferAndLength,
        SetLength,
        WriteSample,
        EndWriting,
    };
    Fail fail = Fail::Nothing;
    // Samples report this many bytes fewer than asked for.
    uint32_t shortSampleBy = 0;

    int coInitialized = 0;
    int coUninitialized = 0;
    int liveObjects = 0;           // every fake object created and not yet destroyed
    std::u16string loadedProfile;  // all 740 units that were passed
    std::u16string fileName;
    std::vector<FakeAttribute> attributes;
    std::vector<uint64_t> sampleTimes;
    std::vector<uint32_t> sampleLengths;
    std::vector<uint8_t> written;
    int beginWriting = 0;
    int endWriting = 0;

    // Resets the record and installs this object behind the returned platform.
    WmaPlatform Install();
};

extern FakeSdk* currentFake;

#endif
