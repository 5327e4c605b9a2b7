// segment_script.h - the selection changes that the writer helper publishes
// one after the other; the reader must take each as one new snapshot with
// exactly these records. Device D1 ("Dev1") of project P has the variables
// V1 to V5 ("Name1"...).
#pragma once

#include <string>
#include <vector>

struct ScriptValue {
    std::string id;    // variable id, V1 to V5
    std::string value; // value text polled
    bool valid;        // the platform reported it valid
};

struct ScriptStage {
    const char *what;
    std::vector<ScriptValue> selection; // what the gateway publishes, in key order
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
        {"first load", {{"V1", "1", true}, {"V2", "2.5", true}, {"V3", "", false}}},
        {"same count, changed values", {{"V1", "10", true}, {"V2", "2.5", true}, {"V3", "7", true}}},
        {"same count, other variables", {{"V3", "7", true}, {"V4", "2.5", true}, {"V5", "", false}}},
        {"grow", {{"V1", "100", true}, {"V2", "200", true}, {"V3", "300", true}, {"V4", "400", true}, {"V5", "500", true}}},
        {"shrink", {{"V1", "5", true}}},
    };
}
