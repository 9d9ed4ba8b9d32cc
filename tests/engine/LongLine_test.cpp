// A recording with a line far longer than the framing buffer (a corrupt file, a device read as a
// file): the line is cut at the buffer limit and counted as an overflow, memory stays bounded,
// and the lines after it are handled as before.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/framing/CTextFile.h"

namespace tolvik {
namespace {

const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";

TEST(LongLine, IsCutCountedAndLeavesTheFramingBufferSmall) {
    test::RecordingHost host;
    test::TempDir dir;
    CGPSEngine engine;
    CGPSReceiver* receiver = engine.FindReceiver(L"Other");
    receiver->SetupReceiver(0, 0, 0.0, L"", true);
    engine.SetReceiver(receiver);
    const std::string path = dir.File("long.log");
    for (const char fill : {'x', '$'}) {
        SCOPED_TRACE(std::string("line of ") + fill);
        test::WriteFile(path, kGga + "\r\n" + std::string(24 << 20, fill) + "\r\n" + kGga + "\r\n");
        const int overflows = engine.m_nOverflowCount;
        const int messages = receiver->m_nMessageCount;
        CTextFile file(false, false);
        ASSERT_NE(file.Open(path.c_str(), CTextFile::typeText), 0);
        for (CString line; file.ReadString(line);) {
            EXPECT_LE(line.GetLength(), CGPSEngine::kBufferLimit);
            engine.ReplayLine(line);
            // Whatever a line brings, the buffer never holds more than two reads' worth.
            EXPECT_LE(engine.m_Buffer.GetCapacity(), 4 * CGPSEngine::kBufferLimit);
        }
        EXPECT_EQ(file.GetCutLines(), 1);
        EXPECT_EQ(engine.m_nOverflowCount - overflows, 1);
        EXPECT_EQ(receiver->m_nMessageCount - messages, 2) << "both sentences around the long line";
    }
}

// A host that hands the engine one huge read: the buffer gives the memory back when it empties.
TEST(LongLine, AnEmptiedBufferGivesBackItsMemory) {
    CBinBuffer buffer;
    const std::string huge(8 << 20, 'x');
    buffer.Append(huge.data(), static_cast<int>(huge.size()));
    EXPECT_GE(buffer.GetCapacity(), 8 << 20);
    buffer.Clear();
    EXPECT_LE(buffer.GetCapacity(), CBinBuffer::kMaxLength);
    // Ordinary use keeps its storage: no allocation per read.
    buffer.Append(kGga.data(), static_cast<int>(kGga.size()));
    const int capacity = buffer.GetCapacity();
    buffer.Clear();
    EXPECT_EQ(buffer.GetCapacity(), capacity);
}

}  // namespace
}  // namespace tolvik
