// MMC packet commands of the emulated drive: the dispatch and the commands
// about the drive itself. Each command is one entry of kCommands: adding a
// command is adding a handler (in the file of its group) and its line.
#include <string_view>

#include "mmc_util.h"

namespace drivesim {
namespace {

constexpr uint8_t kSenseFiltered = 0xFF;  // the kernel refused the command

void TestUnitReady(EmulatedDrive& drive, PacketCommand& command) {
    if (!drive.HasDisc()) command.sense = kNotReady;
}

void RequestSense(EmulatedDrive&, PacketCommand& command) {
    std::vector<uint8_t> reply(18, 0);
    reply[0] = 0x70;
    reply[7] = 10;
    Reply(command, reply, command.cdb[4]);
}

// --model "VENDOR MODEL": the vendor (bytes 8-15) and product (16-31)
// fields, blank-padded, in place of the emulator's own.
void InquiryIdentity(std::string_view model, std::vector<uint8_t>& reply) {
    if (model.empty()) return;
    const size_t space = model.find(' ');
    const std::string_view vendor = model.substr(0, std::min<size_t>(space, 8));
    const std::string_view product = space == std::string_view::npos ? std::string_view() : model.substr(space + 1, 16);
    std::fill(&reply[8], &reply[32], ' ');
    std::copy(vendor.begin(), vendor.end(), &reply[8]);
    std::copy(product.begin(), product.end(), &reply[16]);
}

void Inquiry(EmulatedDrive& drive, PacketCommand& command) {
    if (command.cdb[1] & 0x01) {  // vital product data pages: none
        command.sense = kBadField;
        return;
    }
    std::vector<uint8_t> reply(36, ' ');
    reply[0] = 0x05;  // CD/DVD device
    reply[1] = 0x80;  // removable medium
    reply[2] = 0x05;
    reply[3] = 0x02;
    reply[4] = 31;
    reply[5] = reply[6] = reply[7] = 0;
    std::memcpy(&reply[8], "CADRIX  DRIVESIM CD-ROM 1.00", 28);
    InquiryIdentity(drive.Options().model, reply);
    Reply(command, reply, Be(command.cdb, 3, 2));
}

void GetConfiguration(EmulatedDrive& drive, PacketCommand& command) {
    const uint16_t profile = drive.HasDisc() ? 0x0008 : 0x0000;  // CD-ROM
    std::vector<uint8_t> reply(8 + 8, 0);
    PutBe(&reply[0], static_cast<uint32_t>(reply.size() - 4), 4);
    PutBe(&reply[6], profile, 2);
    reply[8 + 2] = 0x03;  // feature 0, the profile list: persistent, current
    reply[8 + 3] = 4;
    PutBe(&reply[8 + 4], 0x0008, 2);
    reply[8 + 6] = profile != 0 ? 0x01 : 0x00;
    Reply(command, reply, Be(command.cdb, 7, 2));
}

void Accept(EmulatedDrive&, PacketCommand&) {}

void StartStopUnit(EmulatedDrive& drive, PacketCommand& command) {
    if ((command.cdb[4] & 0x02) == 0) return;  // no load or eject
    const bool load = (command.cdb[4] & 0x01) != 0;
    if (drive.Ioctl(load ? 0x5319 /* CDROMCLOSETRAY */ : 0x5309 /* CDROMEJECT */, nullptr, true) != 0) {
        command.sense = {5, 0x53, 0x02, -1};  // medium removal prevented
    }
}

struct MmcCommand {
    uint8_t opcode;
    const char* name;
    bool needsWritableOpen;  // the kernel's filter refuses it on a read-only open
    bool reportsChange;      // a pending UNIT ATTENTION ends it (all but INQUIRY and the like)
    Handler handler;
};

// The head goes back to the start of the disc.
void Rezero(EmulatedDrive& drive, PacketCommand& command) {
    if (!drive.HasDisc()) {
        command.sense = kNotReady;
        return;
    }
    drive.SetPosition(0);
}

// Which commands need a writable open follows the kernel's command filter.
constexpr MmcCommand kCommands[] = {
    {0x00, "TEST UNIT READY", false, true, TestUnitReady},
    {0x01, "REZERO UNIT", false, true, Rezero},
    {0x03, "REQUEST SENSE", false, false, RequestSense},
    {0x12, "INQUIRY", false, false, Inquiry},
    {0x1A, "MODE SENSE(6)", false, true, ModeSense6},
    {0x1B, "START STOP UNIT", true, true, StartStopUnit},
    {0x1E, "PREVENT ALLOW MEDIUM REMOVAL", true, true, Accept},
    {0x25, "READ CAPACITY", false, true, ReadCapacity},
    {0x28, "READ(10)", false, true, ReadBlocks},
    {0x2B, "SEEK(10)", false, true, Seek},
    {0x42, "READ SUB-CHANNEL", false, true, ReadSubChannel},
    {0x43, "READ TOC/PMA/ATIP", false, true, ReadToc},
    {0x45, "PLAY AUDIO(10)", false, true, PlayAudio},
    {0x46, "GET CONFIGURATION", false, false, GetConfiguration},
    {0x47, "PLAY AUDIO MSF", false, true, PlayAudio},
    {0x4B, "PAUSE/RESUME", false, true, Accept},
    {0x4E, "STOP PLAY/SCAN", false, true, Accept},
    {0x51, "READ DISC INFORMATION", false, true, ReadDiscInformation},
    {0x5A, "MODE SENSE(10)", false, true, ModeSense10},
    {0xA5, "PLAY AUDIO(12)", false, true, PlayAudio},
    {0xA8, "READ(12)", false, true, ReadBlocks},
    {0xB9, "READ CD MSF", false, true, ReadCdMsf},
    {0xBB, "SET CD SPEED", true, true, Accept},
    {0xBD, "MECHANISM STATUS", false, false, MechanismStatus},
    {0xBE, "READ CD", false, true, ReadCd},
};

const MmcCommand* FindCommand(uint8_t opcode) {
    const auto* entry = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [opcode](const MmcCommand& c) { return c.opcode == opcode; });
    return entry == std::end(kCommands) ? nullptr : entry;
}

}  // namespace

const char* MmcCommandName(uint8_t opcode) {
    const MmcCommand* command = FindCommand(opcode);
    return command ? command->name : "unknown";
}

void ExecuteMmc(EmulatedDrive& drive, PacketCommand& command) {
    const MmcCommand* entry = FindCommand(command.cdb[0]);
    if (!entry) {
        command.sense = kBadOpcode;
        return;
    }
    if (entry->needsWritableOpen && !command.writableOpen) {
        command.sense = {kSenseFiltered, 0, 0, -1};
        return;
    }
    // After a disc change the drive reports it once, to the first command
    // that may report it; what follows reads the new disc.
    if (entry->reportsChange && drive.TakeUnitAttention()) {
        command.sense = kMediumChanged;
        return;
    }
    entry->handler(drive, command);
}

}  // namespace drivesim
