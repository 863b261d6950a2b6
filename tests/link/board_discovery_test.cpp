// list-boards without a device database: which records are boards, which
// name the link uses, and the text line and JSON object of an entry.
#include <gtest/gtest.h>

#include "link/board_discovery.h"

namespace {

using platform::TtyDeviceRecord;

const char kById[] = "/dev/serial/by-id/usb-ZORVI_Keeper2_42-if00";

TEST(BoardDiscovery, RecordsBecomeBoardLines) {
    struct Case {
        const char* what;
        std::vector<TtyDeviceRecord> records;
        std::string lines;  ///< the entries' boardLine, unasked
    };
    const TtyDeviceRecord board{"ttyACM0", "/dev/ttyACM0", "", {"ZORVI Keeper2"}};
    const Case cases[] = {
        {"none", {}, ""},
        {"a board without udev links", {board}, "-usbcom /dev/ttyACM0\n"},
        {"by-id chosen among the links",
         {{"ttyACM3", "/dev/ttyACM3", std::string("/dev/serial/by-path/pci-0:1.0 ") + kById, {"", "ZORVI Keeper2"}}},
         std::string("-usbcom ") + kById + " (/dev/ttyACM3)\n"},
        {"other ACM devices and ttys ignored",
         {{"ttyACM1", "/dev/ttyACM1", "", {"Modem"}}, {"ttyS0", "/dev/ttyS0", "", {"ZORVI"}},
          {"ttyACMx", "/dev/ttyACMx", "", {"ZORVI"}}, {"ttyACM2", "/dev/ttyACM2", "", {"zorvi"}}},
         ""},
        {"ordered by number",
         {{"ttyACM10", "/dev/ttyACM10", "", {"ZORVI"}}, {"ttyACM9", "/dev/ttyACM9", "", {"x ZORVI y"}}},
         "-usbcom /dev/ttyACM9\n-usbcom /dev/ttyACM10\n"},
    };
    for (const Case& c : cases) {
        std::string lines;
        for (const BoardEntry& entry : boardsFromTtyRecords(c.records)) lines += boardLine(entry);
        EXPECT_EQ(lines, c.lines) << c.what;
    }
}

TEST(BoardDiscovery, AnswersBecomeLineAndObject) {
    struct Case {
        const char* what;
        BoardEntry entry;
        std::string line;
        std::string json;
    };
    BoardEntry answered{"-usbcom", "/dev/ttyACM0", kById, 721, "4.26.0.7", 1353, 4242, kOk, ""};
    BoardEntry silent{"-usbcom", "/dev/ttyACM1", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt, 102,
                      "*** Link failure.\n*** Failed to get ZORVI firmware Product ID.\n"};
    BoardEntry card{"-index", "0", "", 721, std::nullopt, std::nullopt, std::nullopt, 103, "*** status 0x01\n"};
    const Case cases[] = {
        {"answered", answered,
         std::string("-usbcom ") + kById + " (/dev/ttyACM0): product ID 721, firmware 4.26.0.7, drawing 1353, serial 4242\n",
         std::string(R"({"link":"-usbcom","port":"/dev/ttyACM0","by_id":")") + kById +
             R"(","product_id":721,"firmware":"4.26.0.7","drawing":1353,"serial":4242,"error":null})"},
        {"silent", silent,
         "-usbcom /dev/ttyACM1: error 102 (link_failure): *** Link failure. *** Failed to get ZORVI firmware Product "
         "ID.\n",
         R"({"link":"-usbcom","port":"/dev/ttyACM1","by_id":null,"product_id":null,"firmware":null,"drawing":null,)"
         R"("serial":null,"error":{"code":102,"name":"link_failure","message":"*** Link failure.\n*** Failed to get )"
         R"(ZORVI firmware Product ID.\n"}})"},
        {"card answered in part", card, "-index 0: product ID 721, error 103 (unexpected_status): *** status 0x01\n",
         R"({"link":"-index","port":"0","by_id":null,"product_id":721,"firmware":null,"drawing":null,"serial":null,)"
         R"("error":{"code":103,"name":"unexpected_status","message":"*** status 0x01\n"}})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(boardLine(c.entry), c.line) << c.what;
        EXPECT_EQ(boardJson(c.entry).dump(), c.json) << c.what;
    }
}

}  // namespace
