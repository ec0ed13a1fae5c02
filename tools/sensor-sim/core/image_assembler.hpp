#pragma once

#include "core/frames.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavel::sim {

inline constexpr std::size_t kBlockSize = kCommandDataSize;

// Firmware blocks stored at index * 128; blocks never received read as erased flash (0xFF).
class ImageAssembler {
public:
    void reset();
    void store(std::uint16_t index, const CommandData& block);

    std::size_t block_count() const { return received_.size(); }
    std::size_t missing_blocks() const;

    // Blocks 0..highest received, cut to `size` bytes when that is shorter.
    std::vector<std::uint8_t> image(std::optional<std::size_t> size) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<bool> received_;
};

}  // namespace tavel::sim
