// segment_script.h - the selection changes that the writer helper publishes
// one after the other, and what the reader is expected to make of each.
// Device D1 ("Dev1") of project P has the variables V1 to V5 ("Name1"...).
#pragma once

#include <string>
#include <vector>

struct ScriptValue {
    std::string id;    // variable id, V1 to V5
    std::string value; // value text published
    bool valid;
};

struct ExpectedRecord {
    std::string key;
    std::string value;
    bool valid;
    bool changed;
};

struct ScriptStage {
    const char *what;
    std::vector<ScriptValue> selection; // what the gateway publishes
    std::vector<ExpectedRecord> reader; // the reader's list after the reload
};

// Named objects through which the test drives the helper.
constexpr char kNextStageEvent[] = "LumaretSegmentTestNextStage";
constexpr char kDieEvent[] = "LumaretSegmentTestDie";

// Item ID of a variable of the script's device.
inline std::string ScriptItemId(const std::string &id)
{
    return "P.Dev1.Name" + id.substr(1);
}

inline std::vector<ScriptStage> SegmentScript()
{
    return {
        {"first load",
         {{"V1", "1", true}, {"V2", "2.5", true}, {"V3", "", false}},
         {{"D1:V1", "1", true, true}, {"D1:V2", "2.5", true, true}, {"D1:V3", "", false, true}}},
        {"same count, changed values",
         {{"V1", "10", true}, {"V2", "2.5", true}, {"V3", "7", true}},
         {{"D1:V1", "10", true, true}, {"D1:V2", "2.5", true, false}, {"D1:V3", "7", true, true}}},
        {"same count, other variables (overwritten in place)",
         {{"V3", "7", true}, {"V4", "2.5", true}, {"V5", "", false}},
         {{"D1:V3", "7", true, true}, {"D1:V4", "2.5", true, false}, {"D1:V5", "", false, true}}},
        {"grow: every record invalid, the formerly valid ones flagged",
         {{"V1", "100", true}, {"V2", "200", true}, {"V3", "300", true}, {"V4", "400", true}, {"V5", "500", true}},
         {{"D1:V3", "7", false, true}, {"D1:V4", "2.5", false, true}, {"D1:V5", "", false, false}}},
        {"same count again: overwritten and valid again",
         {{"V1", "5", true}, {"V2", "", false}, {"V3", "", false}},
         {{"D1:V1", "5", true, true}, {"D1:V2", "", false, true}, {"D1:V3", "", false, false}}},
        {"shrink: every record invalid, the formerly valid ones flagged",
         {{"V1", "5", true}},
         {{"D1:V1", "5", false, true}, {"D1:V2", "", false, false}, {"D1:V3", "", false, false}}},
    };
}
