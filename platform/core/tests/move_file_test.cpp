// MoveFileEx: a file renamed in one step within a volume, with the device's refusals.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/core/files.h"
#include "sim/headunit/headunit.h"

namespace ce {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MoveFileEx, ReplacesOnlyWhenAskedAndRefusesWhatTheDeviceRefuses) {
    sim::TempHeadUnit unit;
    std::ofstream(unit.nand() / "new.bin") << "new";
    std::ofstream(unit.nand() / "old.bin") << "old";
    EXPECT_EQ(moveFileEx("\\NAND Flash\\new.bin", "\\NAND Flash\\old.bin", 0), ERROR_ALREADY_EXISTS);
    ASSERT_EQ(setFileAttributes("\\NAND Flash\\old.bin", FILE_ATTRIBUTE_READONLY), ERROR_SUCCESS);
    EXPECT_EQ(moveFileEx("\\NAND Flash\\new.bin", "\\NAND Flash\\old.bin", MOVEFILE_REPLACE_EXISTING), ERROR_ACCESS_DENIED);
    ASSERT_EQ(setFileAttributes("\\NAND Flash\\old.bin", FILE_ATTRIBUTE_NORMAL), ERROR_SUCCESS);
    {
        auto held = File::open("\\NAND Flash\\old.bin", GENERIC_READ, 0, OPEN_EXISTING);
        ASSERT_TRUE(held);
        EXPECT_EQ(moveFileEx("\\NAND Flash\\NEW.BIN", "\\NAND Flash\\old.bin", MOVEFILE_REPLACE_EXISTING),
                  ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(moveFileEx("\\NAND Flash\\NEW.BIN", "\\NAND Flash\\old.bin", MOVEFILE_REPLACE_EXISTING), ERROR_SUCCESS);
    EXPECT_EQ(Contents(unit.nand() / "old.bin"), "new");
    EXPECT_FALSE(fs::exists(unit.nand() / "new.bin"));

    EXPECT_EQ(moveFileEx("\\NAND Flash\\gone.bin", "\\NAND Flash\\x.bin", 0), ERROR_FILE_NOT_FOUND);
    fs::create_directory(unit.nand() / "folder");
    EXPECT_EQ(moveFileEx("\\NAND Flash\\folder", "\\NAND Flash\\x", 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(moveFileEx("\\NAND Flash\\old.bin", "\\NAND Flash\\folder", MOVEFILE_REPLACE_EXISTING), ERROR_ACCESS_DENIED);
    EXPECT_EQ(moveFileEx("\\NAND Flash\\old.bin", "\\Nowhere\\x.bin", 0), ERROR_PATH_NOT_FOUND);
}

TEST(MoveFileEx, ALinkInTheWayIsReplacedNotFollowed) {
    sim::TempHeadUnit unit;
    std::ofstream(unit.root() / "outside.txt") << "outside";
    fs::create_symlink(unit.root() / "outside.txt", unit.nand() / "target.bin");
    std::ofstream(unit.nand() / "source.bin") << "source";
    ASSERT_EQ(moveFileEx("\\NAND Flash\\source.bin", "\\NAND Flash\\target.bin", MOVEFILE_REPLACE_EXISTING), ERROR_SUCCESS);
    EXPECT_FALSE(fs::is_symlink(unit.nand() / "target.bin"));
    EXPECT_EQ(Contents(unit.nand() / "target.bin"), "source");
    EXPECT_EQ(Contents(unit.root() / "outside.txt"), "outside");
}

}  // namespace
}  // namespace ce
