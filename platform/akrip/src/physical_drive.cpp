#include "physical_drive.h"

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <dirent.h>
#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cdio_guard.h"
#include "image_plan.h"

namespace akrip {
namespace {

struct UdevDeleter {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

// "H:C:T:L" of a SCSI device.
bool ParseScsiAddress(const std::string& text, PhysicalDriveInfo& info) {
    unsigned host = 0, channel = 0, target = 0, lun = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u:%u", &host, &channel, &target, &lun) != 4) return false;
    info.hostAdapter = static_cast<uint8_t>(host);
    info.target = static_cast<uint8_t>(target);
    info.lun = static_cast<uint8_t>(lun);
    return true;
}

std::string ProductText(std::string model) {
    if (!model.empty() && model.back() == '\n') model.pop_back();
    model.resize(16, ' ');  // drives report it blank-padded to 16 characters
    return model;
}

std::string ReadSysfsLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<PhysicalDriveInfo> FindWithUdev() {
    std::vector<PhysicalDriveInfo> drives;
    UdevPtr<udev> context(udev_new());
    if (!context) return drives;
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate) return drives;
    udev_enumerate_add_match_subsystem(enumerate.get(), "block");
    udev_enumerate_add_match_property(enumerate.get(), "ID_CDROM", "1");
    if (udev_enumerate_scan_devices(enumerate.get()) < 0) return drives;
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
        UdevPtr<udev_device> device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device || !udev_device_get_devnode(device.get())) continue;
        PhysicalDriveInfo info;
        info.device = udev_device_get_devnode(device.get());
        // The parent is owned by `device`.
        udev_device* scsi = udev_device_get_parent_with_subsystem_devtype(device.get(), "scsi", "scsi_device");
        if (scsi) {
            ParseScsiAddress(udev_device_get_sysname(scsi), info);
            const char* model = udev_device_get_sysattr_value(scsi, "model");
            info.product = ProductText(model ? model : "");
        } else {
            info.product = ProductText("");
        }
        drives.push_back(std::move(info));
    }
    return drives;
}

std::vector<PhysicalDriveInfo> FindWithSysfs() {
    std::vector<PhysicalDriveInfo> drives;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/sys/block"), ::closedir);
    if (!dir) return drives;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.starts_with('.')) continue;
        const std::string base = "/sys/block/" + name + "/device";
        if (ReadSysfsLine(base + "/type") != "5") continue;
        PhysicalDriveInfo info;
        info.device = "/dev/" + name;
        char link[PATH_MAX] = {};
        ssize_t length = ::readlink(base.c_str(), link, sizeof link - 1);
        if (length > 0) {
            std::string target(link, static_cast<size_t>(length));
            ParseScsiAddress(target.substr(target.rfind('/') + 1), info);
        }
        info.product = ProductText(ReadSysfsLine(base + "/model"));
        drives.push_back(std::move(info));
    }
    std::sort(drives.begin(), drives.end(),
              [](const PhysicalDriveInfo& a, const PhysicalDriveInfo& b) { return a.device < b.device; });
    return drives;
}

void IgnoreParanoiaProgress(long, paranoia_cb_mode_t) {}

}  // namespace

std::vector<PhysicalDriveInfo> FindPhysicalDrives() {
    std::vector<PhysicalDriveInfo> drives = FindWithUdev();
    return drives.empty() ? FindWithSysfs() : drives;
}

std::vector<AudioRange> ReadableAudioRanges(const DiscToc& toc) {
    std::vector<AudioRange> ranges;
    for (size_t k = 0; k < toc.tracks.size(); ++k) {
        if (!toc.tracks[k].IsAudio()) continue;
        const int64_t begin = toc.tracks[k].start;
        int64_t end = toc.leadOut;
        if (k + 1 < toc.tracks.size()) {
            const TocTrack& next = toc.tracks[k + 1];
            end = next.start;
            // Before a data track the disc holds the session gap (Enhanced CD),
            // or at least the data track's own 2-second pregap.
            if (!next.IsAudio()) end = next.start - kSessionGapFrames > begin ? next.start - kSessionGapFrames
                                                                              : next.start - kMsfOffsetFrames;
        }
        if (end > begin) ranges.push_back({begin, end});
    }
    return ranges;
}

struct PhysicalDrive::Session {
    CdIo_t* cdio = nullptr;
    cdrom_drive_t* cdda = nullptr;
    cdrom_paranoia_t* paranoia = nullptr;
    int64_t nextLsn = -1;  // where the paranoia cursor stands

    ~Session() {
        if (paranoia) cdio_paranoia_free(paranoia);
        if (cdda) cdio_cddap_close_no_free_cdio(cdda);
        if (cdio) cdio_destroy(cdio);
    }
    bool StartParanoia(int testFlags) {
        if (paranoia) return true;
        if (!cdda) cdda = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (!cdda || cdio_cddap_open(cdda) != 0) return false;
        cdda->i_test_flags = testFlags;
        paranoia = cdio_paranoia_init(cdda);
        if (!paranoia) return false;
        cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        nextLsn = -1;
        return true;
    }
};

PhysicalDrive::PhysicalDrive(std::string device, bool cueImage)
    : device_(std::move(device)), cueImage_(cueImage) {}

PhysicalDrive::~PhysicalDrive() {
    const auto lock = LockCdio();
    session_.reset();
}

DiscToc PhysicalDrive::ReadToc() {
    const auto lock = LockCdio();
    // libcdio caches the TOC of an open device: open it again for a new disc.
    if (!session_ || toc_.Empty() || cdio_get_media_changed(session_->cdio) != 0) {
        session_.reset();
        toc_ = {};
        ranges_.clear();
        CdIo_t* cdio = cdio_open(device_.c_str(), cueImage_ ? DRIVER_BINCUE : DRIVER_LINUX);
        if (!cdio) return toc_;
        session_ = std::make_unique<Session>();
        session_->cdio = cdio;
        const track_t first = cdio_get_first_track_num(cdio);
        const track_t last = cdio_get_last_track_num(cdio);
        if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first > last ||
            last - first + 1 > kMaxTracks) {
            return toc_;
        }
        DiscToc toc;
        for (track_t t = first; t <= last; ++t) {
            TocTrack track;
            track.start = cdio_get_track_lsn(cdio, t);
            if (cdio_get_track_format(cdio, t) != TRACK_FORMAT_AUDIO) track.control |= 0x04;
            if (cdio_get_track_copy_permit(cdio, t) == CDIO_TRACK_FLAG_TRUE) track.control |= 0x02;
            if (cdio_get_track_preemphasis(cdio, t) == CDIO_TRACK_FLAG_TRUE) track.control |= 0x01;
            if (track.start == CDIO_INVALID_LSN) return toc_;
            toc.tracks.push_back(track);
        }
        toc.leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
        if (toc.leadOut == CDIO_INVALID_LSN || toc.leadOut <= toc.tracks.back().start) return toc_;
        toc_ = std::move(toc);
        ranges_ = ReadableAudioRanges(toc_);
    }
    return toc_;
}

uint32_t PhysicalDrive::ReadAudio(int64_t lsn, uint32_t frames, uint8_t* out) {
    const auto lock = LockCdio();
    if (!session_) return 0;
    if (cdio_get_media_changed(session_->cdio) > 0) {
        // Another disc: the ranges no longer hold, and paranoia hangs past
        // the end of a disc. Nothing is read until the next TOC read.
        session_.reset();
        toc_ = {};
        ranges_.clear();
        return 0;
    }
    auto range = std::find_if(ranges_.begin(), ranges_.end(),
                              [lsn](const AudioRange& r) { return lsn >= r.begin && lsn < r.end; });
    if (range == ranges_.end()) return 0;
    // Paranoia hangs when asked for sectors past the audio: clamp first.
    const auto count = static_cast<uint32_t>(std::min<int64_t>(frames, range->end - lsn));
    if (!session_->StartParanoia(testFlags_)) return 0;
    if (lsn != session_->nextLsn) {
        // A seek empties paranoia's cache; sequential requests do not seek.
        cdio_paranoia_seek(session_->paranoia, static_cast<int32_t>(lsn), SEEK_SET);
    }
    session_->nextLsn = -1;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t* sector = cdio_paranoia_read_limited(session_->paranoia, IgnoreParanoiaProgress, 20);
        if (!sector) return 0;
        std::memcpy(out + size_t{i} * kAudioSectorBytes, sector, kAudioSectorBytes);
    }
    session_->nextLsn = lsn + count;
    return count;
}

}  // namespace akrip
