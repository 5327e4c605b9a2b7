// variant_record.h - CVariant, one platform variable: the record of the
// gateway's data model and of the shared data segment. Both programs compile
// this one declaration, so the archived field order is the same on both sides.
#pragma once

#include "value_quality.h"

#include <boost/serialization/tracking.hpp>

#include <cstdint>
#include <string>

class CVariant {
public:
    std::string key;       // device id ":" variable id
    std::string variantId; // the platform's id of the variable
    std::string itemId;    // OPC item ID: group name "." name, or name alone
    std::string typeName;  // the platform's type name, e.g. "float32"
    std::string value;     // current value as text; empty when not valid
    bool valid = false;    // the value is current
    std::int8_t typeCode = 0; // type code of the type-name table; 0 when unknown
    bool selected = false; // the variable is published
    bool changed = false;  // service side: the last reload changed value or valid; never saved
    std::string name;      // the variable's name
    bool checked = false;  // gateway side: the list's check mark; never saved
    // OPC quality of the value and the UTC FILETIME of the poll reply that
    // produced it (or of the last quality change); published in the segment,
    // never saved in the project file.
    std::uint16_t quality = kQualityWaiting;
    std::uint64_t timestamp = 0;
    // Gateway side: the number of the last value reply that carried it;
    // never saved, never published.
    std::uint32_t replySerial = 0;

    // Archived members, in this order: key, variantId, itemId, name,
    // typeName, value, valid, typeCode, selected. Defined for the binary
    // archives only (variant_record.cpp).
    template <class Archive>
    void serialize(Archive &archive, unsigned int version);
};

// The gateway saves records through pointers (project file) and by value
// (segment). Tracking them always gives every record the same frame in
// both programs, whatever else a program happens to link.
BOOST_CLASS_TRACKING(CVariant, boost::serialization::track_always)
