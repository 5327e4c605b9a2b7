// manager.h - CManager, the gateway's one data model: the project tree, the
// indexes of the selected variables, the login values and the project file.
// One process-wide recursive lock (Lock) guards all of it; every operation
// takes it, and code that walks the tree or the indexes itself holds it.
#pragma once

#include "platform_replies.h"
#include "project.h"
#include "segment_records.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace boost {
namespace archive {
class binary_oarchive;
} // namespace archive
} // namespace boost

class CManager {
public:
    // The process's manager, constructed on the first call, never destroyed.
    static CManager &GetInstance();

    CManager();
    ~CManager();
    CManager(const CManager &) = delete;
    CManager &operator=(const CManager &) = delete;

    std::unique_lock<std::recursive_mutex> Lock() const
    {
        return std::unique_lock<std::recursive_mutex>(m_lock);
    }

    // Tree.
    void ClearProjects(); // the dropped projects are retired, not freed
    // Frees the retired projects none of whose variables an index still
    // holds; the caller makes sure that it shows none of them any more (the
    // window: after its tree was rebuilt or emptied). Returns how many
    // retired projects are still kept.
    std::size_t ReleaseRetired();
    void AddProject(CProject *project); // takes ownership
    void RebuildDeviceProjects();
    std::string ProjectOfDevice(const std::string &deviceId) const;
    // Renames a device's group and rewrites its item IDs; false (and nothing
    // changed) when another device already has this non-empty group name.
    bool SetGroupName(const std::string &text, CDevice &device);

    // Selection and values. Every change of what the segment publishes moves
    // the publish generation, so that the segment writer stores a new
    // snapshot only when there is one.
    void ClearIndex();
    void RebuildIndex();
    // One polled value: status "1" is a good value; anything else means the
    // platform reports the variable invalid. replyTime is the UTC FILETIME
    // of the reply that carried it (0: now); a record whose value, validity
    // or quality changes takes it as its time stamp.
    void UpdateValue(const std::string &key, const std::string &status, const std::string &value,
                     std::uint64_t replyTime = 0);
    // Polling ends (logout): every selected variable becomes invalid; a
    // polled value stays as the last known one, a variable without one is a
    // comm failure. True when any was valid before.
    bool InvalidateValues();
    // The platform cannot be reached (a failed query, polling stopped): every
    // selected variable keeps its value as the last known one, or has none
    // (comm failure), with now as its time stamp. True when any changed.
    bool MarkSourceUnreachable();
    // Variables the platform left out of a successful value reply: from that
    // reply on (replyTime, 0: now) their value is the last known one, or
    // they have none.
    void MarkUnreported(const std::vector<std::string> &keys, std::uint64_t replyTime);
    // One value reply under one lock: every value as UpdateValue; then, when
    // the reply is complete and answered the selection as it still is
    // (askedSelection), every selected variable it left out as
    // MarkUnreported.
    void ApplyValueReply(const std::vector<ReplyValue> &values, std::uint64_t replyTime,
                         const std::string &askedSelection, bool complete);
    // Values loaded from the project file are from an earlier run: every
    // variable loses its saved value and waits for its first poll.
    void MarkValuesWaiting();
    std::uint64_t PublishGeneration() const;
    // Who publishes the selection (the segment writer) is told to do it now:
    // a poll brought new values, or they became unreachable.
    void SetPublishWakeUp(std::function<void()> wakeUp);
    void WakePublisher() const;
    // Type code of a platform type name, 0 when the name is not in the table.
    int TypeCodeOf(const std::string &typeName) const;

    // The segment's content: the selected variables in key order, handed to
    // the snapshot writer under the manager lock, with the publish and
    // layout generations it represents.
    SegmentContent SaveSelection(CSegmentSnapshotWriter &snapshot) const;
    // SaveSelection and PublishGeneration of the process's manager: the
    // gateway's segment writer is constructed with them.
    static SegmentContent PublishSelection(CSegmentSnapshotWriter &snapshot);
    static std::uint64_t CurrentPublishGeneration();

    // Project file in the program directory. Save replaces the file only
    // with a complete new one; false when nothing was written. Load returns
    // false when there was no readable file (the manager is then unchanged;
    // an unreadable file is kept aside under another name).
    static std::string ProjectFilePath();
    bool Save();
    bool Load();
    bool SaveTo(const std::string &path);
    bool LoadFrom(const std::string &path);

    // Single fields under the lock; texts are returned as copies.
    bool IsRunning() const;
    void SetRunning(bool value);
    std::string UserName() const;
    void SetUserName(const std::string &text);
    std::string Password() const;
    void SetPassword(const std::string &text);
    std::string SessionId() const;
    void SetSessionId(const std::string &text);
    std::string DeptId() const;
    void SetDeptId(const std::string &text);
    std::string Selection() const;

    // Archived members: userName, password, deptId, projects.
    template <class Archive>
    void serialize(Archive &archive, unsigned int version);

    // The data; hold Lock() when using these directly.
    bool running = true;   // value polling is switched on
    std::string sessionId; // session of the current login
    std::string userName;
    std::string password;  // empty unless passwords are remembered
    std::string deptId;
    std::map<std::string, int> typeCodes;            // type name -> type code
    std::map<std::string, CVariant *> keyIndex;      // selected variables by key
    std::unordered_map<std::string, CVariant *> keyLookup; // the same, hashed: for the poll replies
    std::vector<CVariant *> keyOrder; // the same, in keyIndex's order: for passes over all of them
    std::map<std::string, CVariant *> itemIdIndex;   // selected variables by item ID
    std::map<std::string, std::string> deviceProjects; // device id -> project id
    std::string selection; // selection text of the value queries
    std::vector<CProject *> projects; // owned

private:
    void AdoptLoaded(CManager &loaded);
    bool MarkSelectionUnreachable(std::uint64_t when);
    static bool MarkUnreachable(CVariant &variant, std::uint64_t when);
    // A polled value into a record; true when the record changed.
    static bool StoreValue(CVariant &variant, const std::string &status, const std::string &value,
                           std::uint64_t replyTime);
    void Published() { ++m_publishGeneration; }
    // The list of selected variables, their item IDs or names changed.
    void LayoutChanged()
    {
        ++m_layoutGeneration;
        Published();
    }

    mutable std::recursive_mutex m_lock;
    std::uint64_t m_publishGeneration = 1;
    std::uint64_t m_layoutGeneration = 1;
    std::uint32_t m_replySerial = 0; // of the last value reply applied
    std::function<void()> m_publishWakeUp;
    // Projects dropped from the tree. The indexes and the window may still
    // point into them, so they stay alive until ReleaseRetired.
    std::vector<CProject *> m_retired;
};
