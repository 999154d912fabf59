#include "sim/phone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "flash/checksum.h"
#include "script_host.h"
#include "sim/ram_loader.h"

namespace velmora::sim {
namespace {

using testing::ScriptHost;

// A small chip: 64 blocks of 16 pages of 2048 + 64 bytes.
PhoneOptions SmallChip() {
    PhoneOptions o;
    o.blocks = 64;
    o.block_size = 32 * 1024;
    o.page_size = 2048;
    o.spare_size = 64;
    o.erase_time = 2000;
    o.write_time = 200;
    o.start_delay_ms = 1;
    o.data_timeout_ms = 500;
    return o;
}

std::array<uint32_t, 7> Args(std::initializer_list<uint32_t> values) {
    std::array<uint32_t, 7> a{};
    std::copy(values.begin(), values.end(), a.begin());
    return a;
}

class PhoneTest : public ::testing::Test {
  protected:
    void StartPhone(PhoneOptions options = SmallChip()) {
        phone_ = std::make_unique<Phone>(std::move(options));
        std::string error;
        ASSERT_TRUE(phone_->Start(&error)) << error;
    }
    std::unique_ptr<ScriptHost> Host() {
        auto host = std::make_unique<ScriptHost>(phone_->SlavePath());
        EXPECT_TRUE(host->ok());
        return host;
    }
    std::unique_ptr<ScriptHost> LoaderHost() {
        auto host = Host();
        EXPECT_TRUE(host->BringUp());
        return host;
    }
    std::vector<std::string> RomLetters() {
        std::vector<std::string> out;
        for (const auto& e : phone_->trace().Of("rom"))
            out.emplace_back(1, static_cast<char>(e.command));
        return out;
    }
    std::unique_ptr<Phone> phone_;
};

TEST_F(PhoneTest, BootHandshakeLoadsTheImageAndStartsTheLoader) {
    StartPhone();
    auto host = Host();
    ASSERT_TRUE(host->Connect());
    ASSERT_TRUE(host->Handshake());
    // 'G' reads back what 'L' stored.
    host->Write({'S', 0x00, 0x00, 0x00, 0xBC});
    ASSERT_TRUE(host->WaitFor('O'));
    host->Write({'G', 0x00});
    EXPECT_EQ(host->Read(4), (std::vector<uint8_t>{1, 0, 0, 0}));

    std::vector<uint8_t> image(12904);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i ^ (i >> 8));
    ASSERT_TRUE(host->LoadAndJump(image));
    EXPECT_EQ(phone_->state(), Phone::State::kLoader);

    const auto jumps = phone_->trace().Of("jump");
    ASSERT_EQ(jumps.size(), 1u);
    EXPECT_EQ(jumps[0].count, 12904);
    EXPECT_EQ(jumps[0].text, "crc " + std::to_string(Crc32(image)));
    const auto letters = RomLetters();
    const std::vector<std::string> expected_start = {"T", "P", "Q", "D", "S", "G", "S", "L"};
    ASSERT_GE(letters.size(), 8u + 3 + 51);
    EXPECT_TRUE(std::equal(expected_start.begin(), expected_start.end(), letters.begin()));
    EXPECT_EQ(std::count(letters.begin(), letters.end(), "L"), 1 + 51);

    // The baud-rate frame, then the next command at the new rate.
    host->Write(ScriptHost::Frame(4, Args({921600})));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    host->SetLine(921600, false);
    host->Send(5);
    auto r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 4), 0xECu);
    EXPECT_EQ(ScriptHost::U32(r, 8), 0xA1u);
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    const auto bauds = phone_->trace().BaudRates();
    EXPECT_EQ(bauds.front(), 115200u);
    EXPECT_EQ(bauds.back(), 921600u);
    EXPECT_TRUE(phone_->trace().Violations().empty());
}

TEST_F(PhoneTest, BytesAtAnotherBaudRateAreLost) {
    StartPhone();
    auto host = LoaderHost();
    host->SetLine(460800, false);  // without telling the phone
    host->Send(5);
    EXPECT_TRUE(host->Response(300).empty());
    ASSERT_FALSE(phone_->trace().Violations().empty());
    EXPECT_NE(phone_->trace().Violations()[0].find("460800"), std::string::npos);
}

TEST_F(PhoneTest, SetParametersIbtAndEraseAnswerOnTheSerialLink) {
    auto options = SmallChip();
    options.bad_blocks = {5, 9};
    StartPhone(options);
    auto host = LoaderHost();

    host->Send(7, Args({64}));
    auto r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    const auto ibt = host->Read(2048);
    ASSERT_EQ(ibt.size(), 2048u);
    EXPECT_EQ(ibt[0], 0xDF);  // block 5 bad
    EXPECT_EQ(ibt[1], 0xFD);  // block 9 bad
    EXPECT_EQ(ibt[7], 0xFF);
    EXPECT_EQ(ibt[8], 0x00);  // no blocks beyond the chip

    // Wrong geometry: no acknowledgement, and the phone says why.
    host->Send(6, Args({64, 32768, 2048, 16, 0, 0}));
    EXPECT_FALSE(host->WaitFor('O', 300));
    EXPECT_NE(phone_->trace().Violations().back().find("spare size 16"), std::string::npos);
    host->Send(6, Args({64, 32768, 2048, 64, 0, 0}));
    EXPECT_TRUE(host->WaitFor('O'));

    phone_->nand().WritePage(3, 0, std::vector<uint8_t>(10, 0));
    host->Send(10, Args({3}));
    EXPECT_TRUE(host->WaitFor('O'));
    EXPECT_TRUE(phone_->nand().IsErased(3));
    host->Send(10, Args({5}));  // factory bad
    EXPECT_FALSE(host->WaitFor('O', 300));
    EXPECT_EQ(phone_->trace().ErasedBlocks(), (std::vector<uint32_t>{3}));
}

}  // namespace
}  // namespace velmora::sim
