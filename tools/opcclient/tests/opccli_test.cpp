// opccli run as a separate process against the registered test host: it
// lists the host under the OPC DA categories, browses its hierarchy, shows
// item properties, reads, writes (the host's write callback receives it)
// and prints the changes the host pushes while it is subscribed; failures
// give their documented exit codes. The fixture holds a server object of
// its own, so the host opccli talks to stays up between its runs.
#include "hosted_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace iotest;

namespace {

const char kHost[] = "LumaretTest.Host.1";

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

class Opccli : public HostedServer {
protected:
    DWORD Run(const std::string &arguments, std::string *output)
    {
        return testhost::RunProgram("opccli.exe", arguments, output, 60000);
    }
};

} // namespace

TEST_F(Opccli, ListShowsTheTestHostUnderEveryDaCategory)
{
    std::string output;
    ASSERT_EQ(0u, Run("list", &output)) << output;
    bool found = false;
    for (const std::string &line : Lines(output)) {
        if (StartsWith(line, kHost)) {
            found = true;
            EXPECT_TRUE(StartsWith(
                line, "LumaretTest.Host.1 {6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A20} DA 1.0 2.0 3.0 "))
                << line;
        }
    }
    EXPECT_TRUE(found) << output;
}

TEST_F(Opccli, StatusOfTheRunningServer)
{
    std::string output;
    ASSERT_EQ(0u, Run(std::string("status ") + kHost, &output)) << output;
    EXPECT_NE(std::string::npos, output.find("state running")) << output;
}

TEST_F(Opccli, BrowseShowsTheHierarchyAsATree)
{
    std::string output;
    ASSERT_EQ(0u, Run(std::string("browse ") + kHost, &output)) << output;
    // Each line: indentation of two spaces per level, "branch <name>" or
    // "leaf <item ID>"; a leaf belongs to the branches above it.
    std::vector<std::string> path;
    std::set<std::string> branches;
    std::map<std::string, std::string> leaves; // item ID -> branch path
    for (const std::string &line : Lines(output)) {
        const size_t indent = line.find_first_not_of(' ');
        ASSERT_NE(std::string::npos, indent) << output;
        ASSERT_EQ(0u, indent % 2) << line;
        const size_t depth = indent / 2;
        std::vector<std::string> words = Words(line);
        ASSERT_EQ(2u, words.size()) << line;
        ASSERT_LE(depth, path.size()) << line;
        path.resize(depth);
        std::string joined;
        for (const std::string &p : path)
            joined += (joined.empty() ? "" : "/") + p;
        if (words[0] == "branch") {
            path.push_back(words[1]);
            branches.insert(joined.empty() ? words[1] : joined + "/" + words[1]);
        } else {
            ASSERT_EQ("leaf", words[0]) << line;
            leaves[words[1]] = joined;
        }
    }
    EXPECT_EQ((std::set<std::string>{"Area", "Area/Pump", "Plant", "Host"}), branches);
    EXPECT_EQ((std::map<std::string, std::string>{{"Area.Pump.Flow", "Area/Pump"},
                                                  {"Area.Pump.Speed", "Area/Pump"},
                                                  {"Area.Valve", "Area"},
                                                  {"Plant.Temp", "Plant"},
                                                  {"Host.Name", "Host"},
                                                  {"Host.Raw", "Host"},
                                                  {"Host.Never", "Host"}}),
              leaves);
}

TEST_F(Opccli, BrowseFlatListsEveryItem)
{
    std::string output;
    ASSERT_EQ(0u, Run(std::string("browse ") + kHost + " --flat", &output)) << output;
    std::set<std::string> items;
    for (const std::string &line : Lines(output)) {
        std::vector<std::string> words = Words(line);
        ASSERT_EQ(2u, words.size()) << line;
        EXPECT_EQ("item", words[0]);
        items.insert(words[1]);
    }
    EXPECT_EQ((std::set<std::string>{"Area.Pump.Flow", "Area.Pump.Speed", "Area.Valve",
                                     "Plant.Temp", "Host.Name", "Host.Raw", "Host.Never"}),
              items);
}

// The DA 3.0 ways: IOPCBrowse a page of one element at a time, reads that
// accept values of some age.
TEST_F(Opccli, Browse3AndReadWithMaxAge)
{
    std::string output;
    ASSERT_EQ(0u, Run(std::string("browse3 ") + kHost + " Area --page 1", &output)) << output;
    EXPECT_EQ((std::vector<std::string>{"branch Pump", "  item Area.Pump.Flow", "  item Area.Pump.Speed",
                                        "item Area.Valve"}),
              Lines(output));
    ASSERT_EQ(0u, Run(std::string("browse3 ") + kHost + " Plant --properties", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("item Plant.Temp")) << output;
    EXPECT_NE(std::string::npos, output.find("  101 \"Item Description\" \"Plant temperature\" S_OK")) << output;
    EXPECT_EQ(5u, Run(std::string("browse3 ") + kHost + " Nowhere", &output)) << output;

    ASSERT_EQ(0u, Run(std::string("read ") + kHost + " Area.Pump.Speed --max-age 5000", &output)) << output;
    std::vector<std::string> words = Words(Lines(output).at(0));
    ASSERT_EQ(6u, words.size()) << output;
    EXPECT_EQ("1450", words[1]);
    EXPECT_EQ("192(good)", words[3]);
}

TEST_F(Opccli, PropertiesOfAnItem)
{
    std::string output;
    ASSERT_EQ(0u, Run(std::string("properties ") + kHost + " Area.Pump.Speed", &output)) << output;
    // "<id> "<description>" <type> <value> <result>": the value and the
    // result are the last two words.
    std::map<std::string, std::pair<std::string, std::string>> properties;
    for (const std::string &line : Lines(output)) {
        std::vector<std::string> words = Words(line);
        ASSERT_GE(words.size(), 4u) << line;
        properties[words[0]] = {words[words.size() - 2], words.back()};
    }
    typedef std::pair<std::string, std::string> Shown;
    EXPECT_EQ(Shown("3", "S_OK"), properties["1"]); // canonical type VT_I4
    EXPECT_EQ(Shown("3", "S_OK"), properties["5"]); // readable and writable
    EXPECT_EQ(Shown("\"rpm\"", "S_OK"), properties["100"]);
    EXPECT_EQ(Shown("\"Area.Pump.Speed\"", "S_OK"), properties["101"]);
    // Value, quality, time stamp and scan rate as well.
    EXPECT_EQ(Shown("1450", "S_OK"), properties["2"]);
    EXPECT_EQ(Shown("192", "S_OK"), properties["3"]);
    EXPECT_EQ("S_OK", properties["4"].second);
    EXPECT_EQ(Shown("200", "S_OK"), properties["6"]);
}

TEST_F(Opccli, ReadPrintsValueTypeQualityTimeAndResult)
{
    std::string cache, device;
    ASSERT_EQ(0u, Run(std::string("read ") + kHost + " Area.Pump.Speed Host.Raw Host.Never", &cache))
        << cache;
    ASSERT_EQ(0u, Run(std::string("read ") + kHost + " Area.Pump.Speed Host.Raw Host.Never --device",
                      &device))
        << device;
    std::vector<std::string> lines = Lines(cache);
    ASSERT_EQ(3u, lines.size()) << cache;
    std::vector<std::string> speed = Words(lines[0]);
    ASSERT_EQ(6u, speed.size()) << lines[0];
    EXPECT_EQ("Area.Pump.Speed", speed[0]);
    EXPECT_EQ("1450", speed[1]);
    EXPECT_EQ("VT_I4", speed[2]);
    EXPECT_EQ("192(good)", speed[3]);
    EXPECT_NE("-", speed[4]);
    EXPECT_EQ("S_OK", speed[5]);
    EXPECT_TRUE(StartsWith(lines[1], "Host.Raw bytes:0102ff VT_ARRAY|VT_UI1 192(good) ")) << lines[1];
    EXPECT_EQ("Host.Never (empty) VT_EMPTY 32(bad) - S_OK", lines[2]); // waiting for initial data
    EXPECT_EQ(cache, device);
}

TEST_F(Opccli, WriteReachesTheHostsWriteCallback)
{
    std::string output;
    ASSERT_EQ(0u, Run(std::string("write ") + kHost + " Area.Pump.Speed i4 1600", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("write Area.Pump.Speed S_OK")) << output;
    std::vector<HostWrite> writes = WaitForHostWrites(1, kArrival);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ("Area.Pump.Speed", writes[0].itemId);
    EXPECT_EQ("VT_I4", writes[0].type);
    EXPECT_EQ("1600", writes[0].value);
    EXPECT_EQ(192u, writes[0].quality);
}

TEST_F(Opccli, SubscribePrintsTheChangesPushedMeanwhile)
{
    std::string output;
    DWORD code = 0xFFFF;
    std::atomic<bool> running(true);
    std::thread client([&] {
        code = Run(std::string("subscribe ") + kHost + " Area.Pump.Speed --rate 200 --seconds 8",
                   &output);
        running = false;
    });
    // New values while it runs; the first ones may come before it has
    // subscribed and are then reported together as the latest.
    std::vector<std::string> pushed;
    for (int i = 0; running && i < 200; ++i) {
        const std::string value = std::to_string(5000 + i);
        if (HostSet("Area.Pump.Speed", "i4", value))
            pushed.push_back(value);
        Sleep(300);
    }
    client.join();
    ASSERT_EQ(0u, code) << output;

    std::vector<std::string> lines = Lines(output);
    ASSERT_GE(lines.size(), 3u) << output;
    EXPECT_EQ("subscribed 1 item(s) at 200 ms", lines.front());
    std::vector<std::string> changes;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::vector<std::string> words = Words(lines[i]);
        ASSERT_EQ(6u, words.size()) << lines[i];
        EXPECT_EQ("change", words[0]);
        EXPECT_EQ("Area.Pump.Speed", words[1]);
        EXPECT_EQ("192(good)", words[3]);
        EXPECT_EQ("S_OK", words[5]);
        changes.push_back(words[2]);
    }
    EXPECT_EQ("received " + std::to_string(changes.size()) + " change(s)", lines.back());
    // Pushed values, in the order they were pushed; the first report may
    // still be the value from before.
    size_t next = 0;
    int pushedSeen = 0;
    for (const std::string &value : changes) {
        if (value == "1450" && pushedSeen == 0)
            continue;
        while (next < pushed.size() && pushed[next] != value)
            ++next;
        ASSERT_LT(next, pushed.size()) << "unexpected or out-of-order value " << value;
        ++pushedSeen;
    }
    EXPECT_GE(pushedSeen, 3) << output;
}

TEST_F(Opccli, UnregisteredServerExitsWithCode3)
{
    std::string output;
    EXPECT_EQ(3u, Run("read Lumaret.NoSuchServer.1 Area.Pump.Speed", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("not registered")) << output;
    EXPECT_EQ(3u, Run("status {00000000-1111-2222-3333-444444444444}", &output)) << output;
}

TEST_F(Opccli, UnknownItemExitsWithCode5)
{
    std::string output;
    EXPECT_EQ(5u, Run(std::string("read ") + kHost + " Area.No.Such.Tag", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("Area.No.Such.Tag")) << output;
    EXPECT_EQ(5u, Run(std::string("properties ") + kHost + " Area.No.Such.Tag", &output)) << output;
}

TEST_F(Opccli, WriteToReadOnlyItemExitsWithCode6)
{
    std::string output;
    EXPECT_EQ(6u, Run(std::string("write ") + kHost + " Area.Valve bool false", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("read-only")) << output;
    EXPECT_TRUE(TakeHostWrites().empty());
}

TEST_F(Opccli, UsageErrorsExitWithCode2)
{
    std::string output;
    EXPECT_EQ(2u, Run("", &output)) << output;
    EXPECT_EQ(2u, Run(std::string("write ") + kHost + " Area.Pump.Speed i4 notanumber", &output))
        << output;
}
