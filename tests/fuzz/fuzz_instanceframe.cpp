// Arbitrary bytes through the single-instance channel's frame reader, in
// pieces whose sizes the first byte chooses. A frame that completes must be
// exactly the encoding of its message; the reader never takes more than one
// frame, nor a body beyond the limit.
#include "platform/instance.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    platform::InstanceFrameReader reader;
    std::size_t offset = 0;
    while (reader.GetStatus() == platform::InstanceFrameReader::Status::kIncomplete &&
           offset < stream.size()) {
        const std::string_view chunk = stream.substr(offset, piece);
        std::size_t used = 0;
        reader.Feed(chunk, used);
        if (used > chunk.size() ||
            (used == 0 && reader.GetStatus() == platform::InstanceFrameReader::Status::kIncomplete))
            __builtin_trap();
        offset += used;
    }
    if (reader.GetStatus() == platform::InstanceFrameReader::Status::kComplete) {
        const auto frame = platform::InstanceFrame::Encode(reader.Message());
        if (!frame || stream.substr(0, offset) != *frame)
            __builtin_trap();
    }
    if (reader.GetStatus() == platform::InstanceFrameReader::Status::kMalformed && reader.Error().empty())
        __builtin_trap();
    if (offset > platform::InstanceFrame::kHeaderSize + platform::InstanceFrame::kMaxBody)
        __builtin_trap();
    return 0;
}
