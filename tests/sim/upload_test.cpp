#include "core/image_assembler.hpp"
#include "core/loader.hpp"
#include "sim_fixtures.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavel::sim {
namespace {

using namespace fixtures;

std::vector<std::uint8_t> firmware(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256 + 3);
    }
    return image;
}

// What the tool does: blocks of 128 bytes, the last one completed with 0xFF.
std::vector<Frame> upload_frames(const std::vector<std::uint8_t>& image) {
    std::vector<Frame> frames{command_frame('g', 0, 0)};
    const std::size_t blocks = (image.size() + 127) / 128;
    for (std::size_t block = 0; block < blocks; ++block) {
        std::vector<std::uint8_t> data(128, 0xFF);
        const std::size_t begin = block * 128;
        const std::size_t end = std::min(image.size(), begin + 128);
        std::copy(image.begin() + static_cast<long>(begin), image.begin() + static_cast<long>(end), data.begin());
        frames.push_back(command_frame('n', static_cast<std::uint16_t>(block), 128, data));
    }
    Frame complete = frames.back();
    complete[1] = 'q';
    unsigned sum = 0;
    for (std::size_t i = 1; i <= 134; ++i) {
        sum += complete[i];
    }
    complete[136] = static_cast<std::uint8_t>(sum & 0xFF);
    complete[137] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
    frames.push_back(complete);
    return frames;
}

struct UploadResult {
    std::string answers;
    std::vector<SaveImage> saved;
};

UploadResult upload(const std::vector<std::uint8_t>& image, std::optional<std::size_t> image_size) {
    LoaderConfig config = quiet_config();
    config.image_size = image_size;
    LoaderDriver driver{config};
    UploadResult result;
    for (const Frame& frame : upload_frames(image)) {
        const Events events = driver.send(frame);
        result.answers += codes(events);
        const auto saved = events_of<SaveImage>(events);
        result.saved.insert(result.saved.end(), saved.begin(), saved.end());
    }
    return result;
}

class Upload : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Upload, ImageSizeGivesTheFileBack) {
    const std::vector<std::uint8_t> image = firmware(GetParam());
    const UploadResult result = upload(image, image.size());
    const std::size_t blocks = (image.size() + 127) / 128;
    EXPECT_EQ(result.answers, "G" + std::string(blocks, 'N') + "Q");
    ASSERT_EQ(result.saved.size(), 1u);
    EXPECT_EQ(result.saved[0].bytes, image);
    EXPECT_EQ(result.saved[0].blocks, blocks);
    EXPECT_EQ(result.saved[0].missing_blocks, 0u);
}

TEST_P(Upload, WithoutImageSizeTheLastBlockKeepsItsPadding) {
    const std::vector<std::uint8_t> image = firmware(GetParam());
    const UploadResult result = upload(image, std::nullopt);
    ASSERT_EQ(result.saved.size(), 1u);
    const std::vector<std::uint8_t>& saved = result.saved[0].bytes;
    ASSERT_EQ(saved.size(), (image.size() + 127) / 128 * 128);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), saved.begin()));
    EXPECT_TRUE(std::all_of(saved.begin() + static_cast<long>(image.size()), saved.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

INSTANTIATE_TEST_SUITE_P(Loader, Upload, ::testing::Values(1, 128, 129, 65535));

TEST(Upload, BeginDiscardsAnEarlierUpload) {
    LoaderDriver driver;
    const std::vector<std::uint8_t> data(128, 0x11);
    driver.send(command_frame('g', 0, 0));
    driver.send(command_frame('n', 1, 128, data));
    driver.send(command_frame('g', 0, 0));
    driver.send(command_frame('n', 0, 128, data));
    const auto saved = events_of<SaveImage>(driver.send(command_frame('q', 0, 128, data)));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].bytes.size(), 128u);
}

CommandData block_of(std::uint8_t fill) {
    CommandData block{};
    block.fill(fill);
    return block;
}

TEST(ImageAssembler, ResentBlocksOverwriteAndGapsReadAsErased) {
    ImageAssembler image;
    image.store(2, block_of(0x22));
    image.store(0, block_of(0x99));
    image.store(0, block_of(0x00));
    EXPECT_EQ(image.block_count(), 3u);
    EXPECT_EQ(image.missing_blocks(), 1u);
    const std::vector<std::uint8_t> bytes = image.image(std::nullopt);
    ASSERT_EQ(bytes.size(), 384u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[128], 0xFF);
    EXPECT_EQ(bytes[383], 0x22);
}

TEST(ImageAssembler, SizeLongerThanTheImageDoesNotPad) {
    ImageAssembler image;
    image.store(0, block_of(0x01));
    EXPECT_EQ(image.image(1000).size(), 128u);
    EXPECT_EQ(image.image(0).size(), 0u);
}

}  // namespace
}  // namespace tavel::sim
