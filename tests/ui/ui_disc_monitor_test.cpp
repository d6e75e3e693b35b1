// The disc monitor's udev source, end to end: a message in libudev's wire
// format is multicast to the udev netlink group and must come out as one
// deviceChanged signal when it describes an optical drive's media change.
// Sending to that group needs root; elsewhere the test skips.
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <cstring>
#include <string>

#include "disc_monitor.h"

namespace cadrix {
namespace {

// MurmurHash2, as libudev hashes subsystem and device type for its filter.
uint32_t Murmur2(const std::string& key) {
    const uint32_t m = 0x5bd1e995;
    uint32_t len = static_cast<uint32_t>(key.size());
    uint32_t h = len;
    const auto* data = reinterpret_cast<const unsigned char*>(key.data());
    while (len >= 4) {
        uint32_t k;
        std::memcpy(&k, data, 4);
        k *= m;
        k ^= k >> 24;
        k *= m;
        h *= m;
        h ^= k;
        data += 4;
        len -= 4;
    }
    switch (len) {
        case 3: h ^= static_cast<uint32_t>(data[2]) << 16; [[fallthrough]];
        case 2: h ^= static_cast<uint32_t>(data[1]) << 8; [[fallthrough]];
        case 1: h ^= data[0]; h *= m;
    }
    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    return h;
}

struct UdevHeader {
    char prefix[8];
    uint32_t magic;
    uint32_t headerSize;
    uint32_t propertiesOffset;
    uint32_t propertiesLength;
    uint32_t subsystemHash;
    uint32_t devtypeHash;
    uint32_t tagBloomHigh;
    uint32_t tagBloomLow;
};

// Multicasts one udev event for block device `name`; false when not allowed.
bool SendUdevEvent(const std::string& name, const std::string& extraProperties) {
    static uint64_t seqnum = 1000;
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return false;
    std::string properties = "ACTION=change";
    properties += '\0';
    for (const std::string& p :
         {"DEVPATH=/devices/virtual/block/" + name, std::string("SUBSYSTEM=block"), std::string("DEVTYPE=disk"),
          "DEVNAME=/dev/" + name, "SEQNUM=" + std::to_string(++seqnum)}) {
        properties += p;
        properties += '\0';
    }
    properties += extraProperties;
    UdevHeader header{};
    std::memcpy(header.prefix, "libudev", 8);
    header.magic = htonl(0xfeedcafe);
    header.headerSize = sizeof header;
    header.propertiesOffset = sizeof header;
    header.propertiesLength = static_cast<uint32_t>(properties.size());
    header.subsystemHash = htonl(Murmur2("block"));
    header.devtypeHash = htonl(Murmur2("disk"));
    iovec parts[2] = {{&header, sizeof header}, {properties.data(), properties.size()}};
    sockaddr_nl to{};
    to.nl_family = AF_NETLINK;
    to.nl_groups = 2;  // the udev group
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    const bool sent = sendmsg(fd, &message, 0) >= 0;
    close(fd);
    return sent;
}

std::string Props(std::initializer_list<const char*> list) {
    std::string text;
    for (const char* p : list) {
        text += p;
        text += '\0';
    }
    return text;
}

TEST(DiscMonitorUdev, OpticalMediaChangesReachTheHandlerOthersDoNot) {
    DiscMonitor monitor;
    ASSERT_TRUE(monitor.Start(QStringList()));
    if (!monitor.UdevActive()) GTEST_SKIP() << "no udev netlink socket here";
    QSignalSpy changed(&monitor, &DiscMonitor::deviceChanged);

    if (!SendUdevEvent("sr7", Props({"ID_CDROM=1", "ID_CDROM_MEDIA=1", "DISK_MEDIA_CHANGE=1"}))) {
        GTEST_SKIP() << "cannot multicast to the udev group (needs root)";
    }
    if (!changed.wait(3000)) GTEST_SKIP() << "the udev group did not deliver our message here";
    EXPECT_EQ(changed.count(), 1);

    // A hard disk and the eject button's request say nothing about a disc.
    ASSERT_TRUE(SendUdevEvent("sda", Props({"ID_TYPE=disk"})));
    ASSERT_TRUE(SendUdevEvent("sr7", Props({"ID_CDROM=1", "DISK_EJECT_REQUEST=1"})));
    QTest::qWait(500);
    EXPECT_EQ(changed.count(), 1);

    // A burst of events comes out as one signal.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(SendUdevEvent("sr7", Props({"ID_CDROM=1", "DISK_MEDIA_CHANGE=1"})));
    ASSERT_TRUE(changed.wait(3000));
    QTest::qWait(300);
    EXPECT_EQ(changed.count(), 2);
}

}  // namespace
}  // namespace cadrix
