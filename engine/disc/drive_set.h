// Binding of the CD extraction library akrip.so and the drive set built on it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "akrip_extras.h"
#include "akrip_records.h"
#include "disc/disc_model.h"
#include "util/module_loader.h"

namespace cadrix {

// The seven entry points, bound by name from akrip.so.
struct AkripEntryPoints {
    ModuleHandle module;
    GetCDListProc GetCDList = nullptr;
    GetCDHandleProc GetCDHandle = nullptr;
    CloseCDHandleProc CloseCDHandle = nullptr;
    ModifyCDParmsProc ModifyCDParms = nullptr;
    ReadTOCProc ReadTOC = nullptr;
    ReadCDAudioLBAExProc ReadCDAudioLBAEx = nullptr;
    GetCDDBDiskIDProc GetCDDBDiskID = nullptr;
    // Optional exports (akrip_extras.h): null when the library lacks them.
    AkripSetReadAbortProc SetReadAbort = nullptr;
    AkripTakeReadStatsProc TakeReadStats = nullptr;
    AkripSetReadOffsetProc SetReadOffset = nullptr;
    AkripGetCdTextProc GetCdText = nullptr;
    AkripSetReadModeProc SetReadMode = nullptr;
    AkripGetDriveInfoProc GetDriveInfo = nullptr;
    AkripGetTrackRangeProc GetTrackRange = nullptr;
    AkripSetReadAheadProc SetReadAhead = nullptr;
    AkripGetTrackSessionsProc GetTrackSessions = nullptr;
    AkripGetDiscLayoutProc GetDiscLayout = nullptr;

    // Loads the module and binds all seven names; on any missing name the
    // module is unloaded again and false returned. Then binds the optional
    // exports that are there.
    bool Bind();
    void Unbind();
    bool IsBound() const { return module != nullptr; }
};

// The drives, their records and the disc database folder: the state the
// main dialog (or a headless front-end) keeps for the whole run.
class DriveSet {
public:
    DriveSet() = default;
    DriveSet(const DriveSet&) = delete;
    DriveSet& operator=(const DriveSet&) = delete;
    ~DriveSet();

    // Binds the library and opens up to eight drives; true when at least one
    // drive was found.
    bool InitAKRip();
    // Clears drive `drive`'s record and reads its TOC, disc id and database
    // entry again. A damaged TOC leaves the record as for no disc.
    void ReadDisc(int drive);
    // Names arrived for drive `drive`'s disc: its texts are read again from
    // the database files, and nothing else changes (the selection stays).
    void RereadNames(int drive);
    // Copies the names of drive `drive`'s disc into its record through
    // nameReader; nothing without one.
    void ReadDiscDatabase(int drive);
    // The CD-Text of drive `drive`'s disc as the library gives it ("TITLE
    // 1=..." lines, see akrip_extras.h); empty when there is none or the
    // library cannot read it.
    std::string ReadCdText(int drive);
    // Probes every drive for a changed disc and re-reads the changed ones;
    // true when the drive at currentDrive changed.
    bool ProbeDiscChange();
    // Probes drive `drive` alone; true when its disc changed and its record
    // was read again.
    bool ProbeDrive(int drive);
    // Closes the handles and unloads the library (idempotent).
    void Release();

    // While a run extracts from `drive`, a disc change on it is not applied:
    // the worker reads that record without a lock. The re-read waits for
    // EndExtraction(), which looks at the drive again, performs it and
    // returns true when that re-read the record of currentDrive (the list
    // then needs refilling). ExtractionJob calls both.
    void BeginExtraction(int drive);
    bool EndExtraction();
    bool RereadPending() const { return rereadPending_; }
    // True while a run extracts from `drive`.
    bool Extracting(int drive) const { return drive >= 0 && drive == extractingDrive_; }

    AkripEntryPoints akrip;
    std::array<DriveRecord, MAX_DRIVES> drives{};
    int32_t driveCount = 0;
    int32_t currentDrive = 0;
    std::string dataDir;     // ends in '/', or empty when no database folder is known
    std::string ownDiscDir;  // Cadrix's own disc folder (ends in '/'), or empty
    // Fills a record's names from the disc database after its TOC is read;
    // ReadDataDir(DriveSet&) of names/drive_names.h sets it.
    std::function<void(const DriveSet& drives, DriveRecord& record)> nameReader;

private:
    // Reads drive `drive`'s TOC into a scratch buffer; true when its disc id
    // differs from the record's.
    bool DiscChanged(int drive);

    int32_t extractingDrive_ = -1;
    bool rereadPending_ = false;
};

}  // namespace cadrix
