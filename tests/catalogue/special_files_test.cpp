// Cards and folders hold more than files: a named pipe or a device under a
// recording's name is refused at once, never waited on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "catalogue/disk_video.h"
#include "common/temp_dir.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::test;

TEST(SpecialFiles, PipesAndDevicesUnderRecordingNamesAreRefusedWithoutWaiting) {
    TempDir dir;
    const std::string pipe = dir.File("H264_20150812_120000_N0_01.264");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    const std::string device = dir.File("H264_20150812_120100_N0_01.264");
    ASSERT_EQ(symlink("/dev/zero", device.c_str()), 0);
    for (const std::string& path : {pipe, device}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(OpenRecordingReader(0, path, 0));
        EXPECT_FALSE(OpenRecordingReader(1, path, 0));
        EXPECT_TRUE(RepairRecordingFile(path).Failed());
        CDiskVideo r;
        r.filePath = path;
        r.Measure();
        EXPECT_EQ(r.length, 0u);
        EXPECT_EQ(r.OpenReaders(), 0);
    }
}
