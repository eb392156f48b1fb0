// Window images in memory files: a reader gets what the owner drew, and an image caught in
// the middle of a resize is refused or read whole but never faults the reader.

#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ui/shared_pixels.h"

using namespace ce;

TEST(SharedPixels, AReaderGetsWhatTheOwnerDrewAndRefusesAHalfResizedImage) {
    auto image = SharedPixels::create(4, 3);
    ASSERT_TRUE(image);
    image->surface().fill(0x123456);
    OwnedFd fd = image->share();
    ASSERT_TRUE(fd.valid());
    auto read = SharedPixels::read(fd.get());
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->width(), 4);
    EXPECT_EQ(read->pixel(3, 2), 0x123456u);

    ASSERT_TRUE(image->resize(2, 2));
    EXPECT_EQ(SharedPixels::read(fd.get())->width(), 2) << "the same file follows the resize";
    // A file whose header promises more than it holds (a resize caught halfway).
    ASSERT_EQ(ftruncate(fd.get(), 20), 0);
    EXPECT_EQ(SharedPixels::read(fd.get()).error(), ERROR_INVALID_DATA);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    EXPECT_EQ(SharedPixels::read(pipeFds[0]).error(), ERROR_INVALID_HANDLE) << "only a memory file is read";
    close(pipeFds[0]);
    close(pipeFds[1]);
}

TEST(SharedPixels, CapturesRacingResizesNeverFault) {
    auto image = SharedPixels::create(800, 480);
    ASSERT_TRUE(image);
    OwnedFd fd = image->share();
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!stop) {
            auto s = SharedPixels::read(fd.get());
            if (s.ok()) {
                EXPECT_TRUE(s->width() == 800 || s->width() == 8);
            }
            ++reads;
        }
    });
    for (int i = 0; i < 400 || reads < 50; ++i) {  // a mapping read here would take SIGBUS
        ASSERT_TRUE(image->resize(i % 2 ? 800 : 8, i % 2 ? 480 : 8));
        image->surface().fill(0xABCDEF);
    }
    stop = true;
    reader.join();
}
