// variant_record.cpp - archive form of CVariant, instantiated for the binary
// archives that the project file and the shared segment use, and for the
// bounded input archive that reads them from bytes another program wrote.
#include "variant_record.h"

#include "archive_flag.h"
#include "bounded_binary_iarchive.h"

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>

template <class Archive>
void CVariant::serialize(Archive &archive, unsigned int /*version*/)
{
    archive & key;
    archive & variantId;
    archive & itemId;
    archive & name;
    archive & typeName;
    archive & value;
    SerializeFlag(archive, valid);
    archive & typeCode;
    SerializeFlag(archive, selected);
}

template void CVariant::serialize(boost::archive::binary_oarchive &, unsigned int);
template void CVariant::serialize(boost::archive::binary_iarchive &, unsigned int);
template void CVariant::serialize(CBoundedBinaryIArchive &, unsigned int);
