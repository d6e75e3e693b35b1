// The CDDB disc id, three ways, against libdiscid as the reference: the shared
// computation on hand-made and random TOCs, the generator's expected TOCs, and
// the id akrip.so reports for generated images in virtual drive folders.
#include <discid/discid.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "akrip_records.h"
#include "cddb_disc_id.h"
#include "disc_generator.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using namespace cadrix::discgen;

namespace {

struct Toc {
    std::string name;
    std::vector<uint32_t> starts;
    uint32_t leadout = 0;
};

// libdiscid's freedb id for a TOC of program-area addresses.
uint32_t LibdiscidId(const std::vector<uint32_t>& starts, uint32_t leadout) {
    std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    int offsets[100] = {};
    offsets[0] = static_cast<int>(leadout + 150);
    for (size_t i = 0; i < starts.size(); ++i) {
        offsets[i + 1] = static_cast<int>(starts[i] + 150);
    }
    if (!disc || discid_put(disc.get(), 1, static_cast<int>(starts.size()), offsets) == 0) {
        ADD_FAILURE() << "libdiscid refused the TOC";
        return 0;
    }
    return static_cast<uint32_t>(std::stoul(discid_get_freedb_id(disc.get()), nullptr, 16));
}

// Random discs: 1 to 99 tracks, some with INDEX 00 or PREGAP, some with a data
// track first or last, some Enhanced CDs; at most about 88 minutes long.
DiscDescription RandomDisc(std::mt19937& random, uint32_t maxTrackFrames) {
    const auto pick = [&](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random);
    };
    DiscDescription disc;
    disc.seed = random();
    const uint32_t count = pick(0, 3) == 0 ? pick(1, 99) : pick(1, 20);
    const uint32_t budget = 395000 - kSessionGapFrames;
    const uint32_t perTrack = std::min(maxTrackFrames, budget / count / 2);
    for (uint32_t i = 0; i < count; ++i) {
        TrackDescription track;
        track.frames = pick(1, perTrack);
        if (pick(0, 4) == 0) {
            track.indexZeroFrames = pick(0, std::min<uint32_t>(perTrack / 2, 300));
        }
        if (pick(0, 6) == 0) {
            track.pregapFrames = pick(1, std::min<uint32_t>(perTrack / 2 + 1, 300));
        }
        disc.tracks.push_back(track);
    }
    if (count > 1 && pick(0, 3) == 0) {
        TrackDescription& last = disc.tracks.back();
        last.mode = pick(0, 1) == 0 ? TrackMode::Mode1Raw : TrackMode::Mode2Raw;
        if (pick(0, 1) == 0) {
            last.session = 2;
            last.pregapFrames = 0;
            last.indexZeroFrames = 0;
        }
    } else if (pick(0, 5) == 0) {
        disc.tracks.front().mode = TrackMode::Mode1Cooked;
    }
    return disc;
}

std::string Hex(uint32_t id) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", id);
    return text;
}

}  // namespace

TEST(CddbDiscId, AgreesWithLibdiscidOnEdgeTocs) {
    std::vector<uint32_t> hundredTracks;
    for (uint32_t i = 0; i < 99; ++i) {
        hundredTracks.push_back(i * 4000 + (i % 7) * 13);  // high seconds: large digit sums wrap mod 255
    }
    std::vector<uint32_t> tinyTracks;
    for (uint32_t i = 0; i < 99; ++i) {
        tinyTracks.push_back(i);
    }
    const std::vector<Toc> tocs = {
        {"one track from 0", {0}, 1},
        {"one track, 74 minutes", {0}, 333000},
        {"one track off the second", {224}, 100000},  // truncate each side before the difference
        {"hidden track one audio", {300, 525, 840, 1253}, 1703},
        {"99 tracks, long disc", hundredTracks, 396500},
        {"99 one-frame tracks", tinyTracks, 99},
        {"mixed mode, data first", {0, 335, 560, 875, 1288}, 1738},
        {"Enhanced CD", {0, 225, 540, 953, 12803}, 12988},
        {"MusicBrainz example", {0, 22310, 50047, 80464, 100678, 133168}, 164750},
        {"just under 90 minutes", {0, 200000}, 405000 - 151},
    };
    for (const Toc& toc : tocs) {
        EXPECT_EQ(Hex(CddbDiscId(toc.starts, toc.leadout)), Hex(LibdiscidId(toc.starts, toc.leadout))) << toc.name;
    }
    EXPECT_EQ(CddbDiscId({}, 100), 0U);
}

TEST(CddbDiscId, AgreesWithLibdiscidOnRandomGeneratedDiscs) {
    std::mt19937 random(20260512);
    int discs = 0;
    int dataDiscs = 0;
    int sessionDiscs = 0;
    int longDiscs = 0;
    for (int i = 0; i < 300; ++i) {
        const DiscDescription disc = RandomDisc(random, 30000);
        const ExpectedToc toc = ExpectedTocOf(disc);
        ASSERT_FALSE(toc.trackStarts.empty()) << "disc " << i;
        ASSERT_EQ(toc.cddbId, CddbDiscId(toc.trackStarts, toc.leadout));
        EXPECT_EQ(Hex(toc.cddbId), Hex(LibdiscidId(toc.trackStarts, toc.leadout)))
            << "disc " << i << " with " << toc.trackStarts.size() << " tracks, lead-out " << toc.leadout;
        ++discs;
        dataDiscs += std::count(toc.dataTracks.begin(), toc.dataTracks.end(), true) > 0 ? 1 : 0;
        sessionDiscs += disc.tracks.back().session == 2 ? 1 : 0;
        longDiscs += toc.trackStarts.size() > 50 ? 1 : 0;
    }
    // The sample really covers the cases it is meant to.
    EXPECT_GE(dataDiscs, 30);
    EXPECT_GE(sessionDiscs, 10);
    EXPECT_GE(longDiscs, 20);
}

#ifdef CADRIX_AKRIP_MODULE

namespace {

using cadrix::test::TempDir;

struct ModuleCloser {
    void operator()(void* module) const { dlclose(module); }
};

template <typename Proc>
Proc Bind(void* module, const char* name) {
    return reinterpret_cast<Proc>(dlsym(module, name));
}

// Discs of every layout the generator makes: stored and PREGAP silence,
// hidden track one audio, data first, last and in a second session, cooked
// data sectors, WAVE and big-endian files, 99 tracks, a one-frame track.
std::vector<DiscDescription> CrosscheckDiscs() {
    std::vector<DiscDescription> discs;
    DiscDescription extra = AudioDisc({225, 315, 413, 450}, 3);  // data track with a stored pregap
    extra.tracks.push_back({185, TrackMode::Mode1Raw, 150, 0, 1});
    discs.push_back(extra);
    DiscDescription pregaps = AudioDisc({300, 200, 150, 99}, 4);
    pregaps.tracks[1].indexZeroFrames = 150;
    pregaps.tracks[2].pregapFrames = 75;
    pregaps.tracks[0].indexZeroFrames = 40;  // hidden track one audio
    pregaps.audioFiles = AudioFileType::Motorola;
    discs.push_back(pregaps);
    DiscDescription enhanced = AudioDisc({400, 260, 333}, 5);
    enhanced.tracks.push_back({185, TrackMode::Mode1Raw, 0, 0, 2});
    discs.push_back(enhanced);
    DiscDescription mixed = AudioDisc({335, 225, 315}, 6);
    mixed.tracks[0].mode = TrackMode::Mode1Raw;
    mixed.tracks[1].pregapFrames = 150;
    mixed.filePerTrack = true;
    discs.push_back(mixed);
    DiscDescription cooked = AudioDisc({300, 301, 302}, 7);
    cooked.tracks.push_back({200, TrackMode::Mode1Cooked, 0, 150, 1});
    cooked.audioFiles = AudioFileType::Wave;
    discs.push_back(cooked);
    discs.push_back(AudioDisc(std::vector<uint32_t>(99, 7), 8));  // 99 tracks
    discs.push_back(AudioDisc({1}, 9));                           // one track of one frame
    DiscDescription mode2 = AudioDisc({500, 77}, 10);
    mode2.tracks.push_back({120, TrackMode::Mode2Raw, 0, 0, 2});
    discs.push_back(mode2);
    return discs;
}

// akrip.so bound by name, as the program binds it.
struct Akrip {
    explicit Akrip(const char* path) : module(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (!module) return;
        getList = Bind<GetCDListProc>(module.get(), "GetCDList");
        getHandle = Bind<GetCDHandleProc>(module.get(), "GetCDHandle");
        closeHandle = Bind<CloseCDHandleProc>(module.get(), "CloseCDHandle");
        modify = Bind<ModifyCDParmsProc>(module.get(), "ModifyCDParms");
        readToc = Bind<ReadTOCProc>(module.get(), "ReadTOC");
        getId = Bind<GetCDDBDiskIDProc>(module.get(), "GetCDDBDiskID");
        read = Bind<ReadCDAudioLBAExProc>(module.get(), "ReadCDAudioLBAEx");
    }
    bool Bound() const { return getList && getHandle && closeHandle && modify && readToc && getId && read; }

    // A handle on the listed drive named `product`; 0 when it is not listed.
    HCDROM Open(const DriveListBuffer& list, const std::string& product) const {
        for (int k = 0; k < list.count && k < AKRIP_MAX_DRIVES; ++k) {
            const DriveListEntry& entry = list.entries[k];
            if (std::string(entry.productId) != product) continue;
            HandleRequest request{};
            request.size = sizeof request;
            request.version = 1;
            request.hostAdapter = entry.hostAdapter;
            request.target = entry.target;
            request.lun = entry.lun;
            return getHandle(&request);
        }
        return 0;
    }

    // Frames begin..end as the extraction worker reads them, up to where the
    // readable audio ends.
    std::vector<uint8_t> ReadPcm(HCDROM handle, uint32_t position, uint32_t end) const {
        std::vector<uint8_t> storage(sizeof(ReadBuffer) + 27 * AKRIP_FRAME_BYTES);
        auto* main = reinterpret_cast<ReadBuffer*>(storage.data());
        main->capacity = 27 * AKRIP_FRAME_BYTES;
        std::vector<uint8_t> pcm;
        while (position < end) {
            main->startFrame = position;
            main->frameCount = std::min<uint32_t>(27, end - position);
            if (read(handle, main, nullptr) != 1 || main->frameCount == 0) break;
            const uint8_t* data = ReadBufferData(main) + main->dataOffset;
            pcm.insert(pcm.end(), data, data + main->validBytes);
            position += main->frameCount;
        }
        return pcm;
    }

    std::unique_ptr<void, ModuleCloser> module;
    GetCDListProc getList = nullptr;
    GetCDHandleProc getHandle = nullptr;
    CloseCDHandleProc closeHandle = nullptr;
    ModifyCDParmsProc modify = nullptr;
    ReadTOCProc readToc = nullptr;
    GetCDDBDiskIDProc getId = nullptr;
    ReadCDAudioLBAExProc read = nullptr;
};

// The drive `product` of `akrip` holds `disc`: its TOC, libdiscid's id for
// it, and every audio track's PCM.
void CheckDrive(const Akrip& akrip, const DriveListBuffer& list, const std::string& product,
                const DiscDescription& disc) {
    const HCDROM handle = akrip.Open(list, product);
    ASSERT_NE(handle, 0U) << product << " is not in the drive list";
    akrip.modify(handle, AKRIP_PARM_MSF, 0);
    TocBuffer toc{};
    akrip.readToc(handle, &toc);
    const ExpectedToc expected = ExpectedTocOf(disc);
    ASSERT_EQ(toc.lastTrack, expected.trackStarts.size()) << product;
    std::vector<uint32_t> starts;
    for (int k = 0; k < toc.lastTrack; ++k) {
        starts.push_back(TocAddress(toc.entries[k]));
        EXPECT_EQ((toc.entries[k].adrControl & AKRIP_TOC_CONTROL_DATA) != 0,
                  expected.dataTracks[static_cast<size_t>(k)])
            << product << " track " << k + 1;
    }
    EXPECT_EQ(starts, expected.trackStarts) << product;
    EXPECT_EQ(TocAddress(toc.entries[toc.lastTrack]), expected.leadout) << product;
    std::vector<uint32_t> words(static_cast<size_t>(toc.lastTrack) + 3, 0);
    akrip.getId(handle, words.data(), static_cast<int32_t>(words.size()));
    EXPECT_EQ(Hex(words[0]), Hex(LibdiscidId(expected.trackStarts, expected.leadout))) << product;
    EXPECT_EQ(words[0], expected.cddbId) << product;
    for (int k = 0; k < toc.lastTrack; ++k) {
        if (expected.dataTracks[static_cast<size_t>(k)]) continue;
        const auto pcm = akrip.ReadPcm(handle, starts[static_cast<size_t>(k)], TocAddress(toc.entries[k + 1]));
        EXPECT_TRUE(pcm == ExpectedTrackPcm(disc, k + 1)) << product << " track " << k + 1;
    }
    akrip.closeHandle(handle);
}

}  // namespace

// Generated images in virtual drive folders: akrip.so reports the TOC the
// generator expects, libdiscid's id for it, and the expected audio.
TEST(CddbDiscId, AkripReportsTheGeneratedTocIdAndAudio) {
    TempDir dir;
    const std::vector<DiscDescription> discs = CrosscheckDiscs();
    std::string drives;
    for (size_t i = 0; i < discs.size(); ++i) {
        const fs::path folder = dir.path() / ("disc" + std::to_string(i));
        ASSERT_TRUE(WriteDiscImage(discs[i], folder, "image"));
        drives += (i == 0 ? "" : ":") + folder.string();
    }
    ASSERT_EQ(setenv("CADRIX_VIRTUAL_DRIVES", drives.c_str(), 1), 0);
    const Akrip akrip(CADRIX_AKRIP_MODULE);
    ASSERT_TRUE(akrip.module) << dlerror();
    ASSERT_TRUE(akrip.Bound());
    DriveListBuffer list{};
    akrip.getList(&list);
    for (size_t i = 0; i < discs.size(); ++i) CheckDrive(akrip, list, "disc" + std::to_string(i), discs[i]);
    unsetenv("CADRIX_VIRTUAL_DRIVES");
}

#endif
