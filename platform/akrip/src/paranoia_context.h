// What the secure reader's parts share: its limits, and the request in
// progress that paranoia's callbacks reach.
#pragma once

#include <atomic>
#include <cstdint>

#include "image_plan.h"
#include "paranoia_reader.h"

namespace akrip {
namespace paranoia_limits {

// Retries of one sector paranoia is asked for (a multiple of 5: it looks at
// the count every fifth retry).
constexpr int kMaxRetries = 20;
// Failed reads of one request before paranoia is stopped. Paranoia itself
// would go on without end when a stream starts on a bad sector (it never
// reads before its start) and can crash when it skips with nothing read yet,
// so a request gives up first: a sector that failed this often is bad.
constexpr int kMaxFailures = 10;
// Paranoia's low-level reads for one request before it is stopped: a window
// of 1,200 sectors costs it about a hundred, so this is some twenty tries.
constexpr long kReadBudget = 2000;
constexpr size_t kMaxUnreadable = 64;
constexpr int64_t kVerifyAhead = 64;
constexpr long kWordsPerSector = kAudioSectorBytes / 2;  // paranoia's positions count 16-bit words
// A stream starts a few sectors early where it can: paranoia never reads
// before a stream's start, and cannot give up on a bad sector it starts on.
constexpr int64_t kMinLead = 4;
// A stream start is trusted when paranoia fixes nothing in its first sectors;
// otherwise the stream starts kFirstLead sectors earlier, then four times as far.
constexpr int64_t kTrustSectors = 40;
constexpr int64_t kFirstLead = 64;
// A gap or the disc's end within this many sectors of jitter paranoia fixed
// has its last samples checked by up to kTailReads fresh reads.
constexpr int64_t kTailWatch = 128;
constexpr int kTailReads = 12;
// Audio kept of the requests before, so that a silence at the start of one
// is seen with the audio before it; a silence no read spans is longer.
constexpr int64_t kHistorySectors = 26;
constexpr uint32_t kMaxSeamRequest = 64;
constexpr int kSeamRetries = 2;
// Sectors before the requests' starts remembered as bad: a few suffice, a
// stream reads back little. One is taken as bad once it failed this often
// (paranoia retries it before that: an error that clears is read).
constexpr size_t kMaxBadBehind = 16;
constexpr int kBehindTries = 6;

}  // namespace paranoia_limits

// The request running on this thread: paranoia's callbacks carry no user pointer.
struct ParanoiaReader::Context {
    ParanoiaReader* reader = nullptr;
    CdIo_t* cdio = nullptr;
    const std::atomic<bool>* abort = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    ReadStats* stats = nullptr;
    int64_t fence = 0;
    int64_t need = 0;  // the first sector the request delivers: paranoia may read before it
    bool skipped = false;
    int64_t badSector = -1;   // the last sector before the fence that failed on its own
    int64_t firstFixup = -1;  // the first sector where paranoia fixed jitter or drift
    int failures = 0;         // reads of this request that failed on a sector before the fence
    long reads = 0;           // paranoia's reads since the last ReadOn began
    long readBudget = 0;      // how many it may take
    bool gaveUp = false;      // paranoia was stopped: it would not give up by itself
    bool Stopped() const { return abort->load(std::memory_order_relaxed) || cancel->load(std::memory_order_relaxed); }
};

}  // namespace akrip
