// list-boards without a device database: which records are boards, which
// name the link takes, and an entry's text line and JSON object.
#include <gtest/gtest.h>

#include "link/board_discovery.h"

namespace {

TEST(BoardDiscovery, RecordsBecomeBoards) {
    struct Case {
        const char* what;
        std::vector<platform::TtyDeviceRecord> records;
        std::string lines;      ///< the entries' boardLine, unasked
        std::string firstJson;  ///< the first entry's object
    };
    const std::string byId = "/dev/serial/by-id/usb-ZORVI_Keeper2_42-if00";
    const std::string nulls = R"("product_id":null,"mode":null,"firmware":null,"drawing":null,"serial":null,"error":null})";
    const Case cases[] = {
        {"none", {}, "", ""},
        {"by-id chosen among the links",
         {{"ttyACM3", "/dev/ttyACM3", "/dev/serial/by-path/pci-0:1.0 " + byId, {"", "ZORVI Keeper2"}}},
         "-usbcom " + byId + " (/dev/ttyACM3)\n",
         R"({"link":"-usbcom","port":"/dev/ttyACM3","by_id":")" + byId + "\"," + nulls},
        {"other devices, other ttys and other spellings ignored",
         {{"ttyACM1", "/dev/ttyACM1", "", {"Modem"}}, {"ttyS0", "/dev/ttyS0", "", {"ZORVI"}},
          {"ttyACMx", "/dev/ttyACMx", "", {"ZORVI"}}, {"ttyACM2", "/dev/ttyACM2", "", {"zorvi"}}},
         "", ""},
        {"ordered by number, without links",
         {{"ttyACM10", "/dev/ttyACM10", "", {"ZORVI"}}, {"ttyACM9", "/dev/ttyACM9", "", {"x ZORVI y"}}},
         "-usbcom /dev/ttyACM9\n-usbcom /dev/ttyACM10\n",
         R"({"link":"-usbcom","port":"/dev/ttyACM9","by_id":null,)" + nulls},
        {"COM ports, with no product to go by, ordered by number",
         {{"COM12", "COM12", "", {}}, {"COM3", "COM3", "", {}}, {"COMx", "COMx", "", {}}, {"COM", "COM", "", {}}},
         "-usbcom COM3\n-usbcom COM12\n", R"({"link":"-usbcom","port":"COM3","by_id":null,)" + nulls},
    };
    for (const Case& c : cases) {
        const std::vector<BoardEntry> boards = boardsFromTtyRecords(c.records);
        std::string lines;
        for (const BoardEntry& entry : boards) lines += boardLine(entry);
        EXPECT_EQ(lines, c.lines) << c.what;
        EXPECT_EQ(boards.empty() ? "" : boardJson(boards[0]).dump(), c.firstJson) << c.what;
    }
}

}  // namespace
