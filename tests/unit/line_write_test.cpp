// A frame and a data run leave in one write each: one burst on the wire, one system call.
#include <gtest/gtest.h>

#include <deque>

#include "link/Frame.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "platform/SerialDevice.h"

namespace ombrix {
namespace {

// Records how the bytes were handed over and acknowledges every write.
class WriteRecorder final : public SerialDevice {
public:
    explicit WriteRecorder(std::vector<size_t>* writes) : writes_(writes) {}
    bool Configure(const LineSettings&, SysError*) override { return true; }
    bool PutByte(uint8_t) override {
        writes_->push_back(1);
        input_.push_back(kAck);
        return true;
    }
    bool PutBytes(const uint8_t*, size_t n) override {
        writes_->push_back(n);
        input_.push_back(kAck);
        return true;
    }
    int InputCount() override { return static_cast<int>(input_.size()); }
    bool LineDropped() override { return false; }
    int GetByte() override {
        if (input_.empty()) return -1;
        const int b = input_.front();
        input_.pop_front();
        return b;
    }
    void WaitInput(uint32_t) override {}
    void Purge() override { input_.clear(); }
    void SetDtr(bool) override {}

private:
    std::vector<size_t>* writes_;
    std::deque<uint8_t> input_;
};

class NoDevices final : public DeviceOpener {
public:
    std::unique_ptr<SerialDevice> Open(const std::string&, SysError*) override { return nullptr; }
};

TEST(LineWrites, FrameAndDataRunEachInOneWrite) {
    VirtualClock clock;
    NoDevices opener;
    Link link(clock, opener);
    std::vector<size_t> writes;
    link.device = std::make_unique<WriteRecorder>(&writes);

    EXPECT_EQ(SendFrame(link, BuildRequest(1, 'q', 0x40, 0x34, 1, 0x20)), kDone);
    const uint8_t data[16] = {1, 2, 3};
    EXPECT_EQ(SendDataRun(link, data, sizeof data, 0), kDone);
    // Start byte, offset byte and seven frame bytes; sixteen data bytes and their checksum.
    EXPECT_EQ(writes, (std::vector<size_t>{9, 17}));
}

}  // namespace
}  // namespace ombrix
