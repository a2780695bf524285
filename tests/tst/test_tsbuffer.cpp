#include "tst/tsbuffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
}

std::vector<std::size_t> ChunkSizes(const TSBuffer& buffer)
{
    std::vector<std::size_t> sizes;
    buffer.ForEachChunk([&](const char*, std::size_t size) { sizes.push_back(size); });
    return sizes;
}

TEST(TSBuffer, FiveThousandBytesFillTwoChunks)
{
    TSBuffer buffer;
    const std::string bytes = Pattern(5000);
    buffer.Append(bytes.data(), bytes.size());
    EXPECT_EQ(ChunkSizes(buffer), (std::vector<std::size_t>{4088, 912}));
    EXPECT_EQ(buffer.GetCount(), 5000u);
    EXPECT_EQ(buffer.ToString(), bytes);
}

TEST(TSBuffer, SmallAppendsFillChunksExactly)
{
    TSBuffer buffer;
    const std::string bytes = Pattern(3 * TSBuffer::kChunkData + 1);
    for (std::size_t i = 0; i < bytes.size(); i += 100)
        buffer.Append(bytes.data() + i, std::min<std::size_t>(100, bytes.size() - i));
    EXPECT_EQ(ChunkSizes(buffer), (std::vector<std::size_t>{4088, 4088, 4088, 1}));
    EXPECT_EQ(buffer.ToString(), bytes);
    buffer.Append(nullptr, 0);
    EXPECT_EQ(buffer.GetChunkCount(), 4u);
}

TEST(TSBuffer, CopiesAreDeepAndClearEmpties)
{
    TSBuffer original;
    original.Append(std::string("abc"));
    TSBuffer copy(original);
    copy.Append(std::string("def"));
    EXPECT_EQ(original.ToString(), "abc");
    EXPECT_EQ(copy.ToString(), "abcdef");

    original = copy;
    copy.Clear();
    EXPECT_EQ(original.ToString(), "abcdef");
    EXPECT_EQ(copy.GetCount(), 0u);
    EXPECT_EQ(copy.ToString(), "");
    EXPECT_EQ(copy.GetChunkCount(), 0u);
}

} // namespace
