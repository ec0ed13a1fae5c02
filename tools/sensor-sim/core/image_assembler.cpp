#include "core/image_assembler.hpp"

#include <algorithm>

namespace tavel::sim {

void ImageAssembler::reset() {
    bytes_.clear();
    received_.clear();
}

void ImageAssembler::store(std::uint16_t index, const CommandData& block) {
    const std::size_t blocks = std::max<std::size_t>(received_.size(), std::size_t{index} + 1);
    bytes_.resize(blocks * kBlockSize, 0xFF);
    received_.resize(blocks, false);
    std::copy(block.begin(), block.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(index * kBlockSize));
    received_[index] = true;
}

std::size_t ImageAssembler::missing_blocks() const {
    return static_cast<std::size_t>(std::count(received_.begin(), received_.end(), false));
}

std::vector<std::uint8_t> ImageAssembler::image(std::optional<std::size_t> size) const {
    const std::size_t length = std::min(bytes_.size(), size.value_or(bytes_.size()));
    return {bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(length)};
}

}  // namespace tavel::sim
