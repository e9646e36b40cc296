#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "window/action_list.h"
#include "window/list_record.h"

namespace moraven::test {

// A listed file's record with chosen facts, for the list and the commands without reading any video.
class FakeListRecord final : public ListRecord {
public:
    struct Facts {
        std::string datecodeKey = "N/A";  // the start of the datecode-order key
        std::string sizeKey = "00000000000000000000000000000000";
        std::string dateKey = "20060101000000";
        DateTime datecode{};
        std::string datecodeText = "N/A";
        std::string timecodeText = "N/A";
        DateTime created{};
        DateTime modified{};
        std::uint32_t attributes = 0;
        double fps = 25.0;
        std::string codec = "dvsd";
        bool isDv = true;
        int dvType = 1;
        bool type2Iavs = false;
        DvSystem tvSystem = DvSystem::Pal625;
        std::string audioText = "48000Hz 16 bits Stereo";
    };

    FakeListRecord(std::string path, const Facts& facts) : m_path(std::move(path)), m_facts(facts) {
        const std::size_t slash = m_path.rfind('/');
        m_name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
        const std::string lowerPath = asciiLower(m_path);
        const std::string lowerName = asciiLower(m_name);
        m_keys = {facts.datecodeKey + lowerName + lowerPath, lowerName + lowerPath, facts.sizeKey + lowerPath,
                  facts.dateKey + lowerPath};
    }

    const std::string& fullPath() const override { return m_path; }
    const std::string& fileName() const override { return m_name; }
    const std::string& sortKey(int order) const override {
        return m_keys[static_cast<std::size_t>(normalizedSortOrder(order))];
    }
    DateTime datecode() const override { return m_facts.datecode; }
    const std::string& datecodeText() const override { return m_facts.datecodeText; }
    const std::string& timecodeText() const override { return m_facts.timecodeText; }
    DateTime created() const override { return m_facts.created; }
    DateTime modified() const override { return m_facts.modified; }
    std::uint32_t attributes() const override { return m_facts.attributes; }
    double fps() const override { return m_facts.fps; }
    const std::string& codec() const override { return m_facts.codec; }
    bool isDv() const override { return m_facts.isDv; }
    int dvType() const override { return m_facts.dvType; }
    bool type2Iavs() const override { return m_facts.type2Iavs; }
    DvSystem tvSystem() const override { return m_facts.tvSystem; }
    const std::string& audioText() const override { return m_facts.audioText; }

private:
    std::string m_path;
    std::string m_name;
    Facts m_facts;
    std::array<std::string, 4> m_keys;
};

// Makes fake records; the facts of a path are those set for it, or the defaults. Counts the reads.
class FakeRecordFactory {
public:
    void set(const std::string& path, const FakeListRecord::Facts& facts) { m_facts[path] = facts; }
    // Facts given by file name: they follow the file through renames.
    void setByName(const std::string& name, const FakeListRecord::Facts& facts) { m_byName[name] = facts; }
    int reads() const { return m_reads; }

    RecordFactory factory() {
        return [this](const std::string& path) -> std::unique_ptr<ListRecord> {
            ++m_reads;
            FakeListRecord::Facts facts;
            if (auto f = m_facts.find(path); f != m_facts.end()) {
                facts = f->second;
            } else {
                const std::string name = path.substr(path.rfind('/') + 1);
                if (auto n = m_byName.find(name); n != m_byName.end()) facts = n->second;
            }
            return std::make_unique<FakeListRecord>(path, facts);
        };
    }

private:
    std::map<std::string, FakeListRecord::Facts> m_facts;
    std::map<std::string, FakeListRecord::Facts> m_byName;
    int m_reads = 0;
};

}  // namespace moraven::test
