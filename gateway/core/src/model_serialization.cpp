// model_serialization.cpp - archive form of the project tree and the
// manager's saved part, instantiated for the binary archives of the project
// file (the project file is read through the bounded archive). Lists of
// records are the archive's vectors of pointers.
#include "manager.h"

#include "archive_flag.h"
#include "bounded_binary_iarchive.h"

#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

template <class Archive>
void CDevice::serialize(Archive &archive, unsigned int /*version*/)
{
    archive & deviceId;
    archive & name;
    archive & serlnum;
    archive & groupName;
    archive & variants;
    SerializeFlag(archive, hasSelected);
}

template <class Archive>
void CProject::serialize(Archive &archive, unsigned int /*version*/)
{
    archive & projectId;
    archive & projectName;
    archive & devices;
}

template <class Archive>
void CManager::serialize(Archive &archive, unsigned int /*version*/)
{
    archive & userName;
    archive & password;
    archive & deptId;
    archive & projects;
}

template void CDevice::serialize(boost::archive::binary_oarchive &, unsigned int);
template void CDevice::serialize(CBoundedBinaryIArchive &, unsigned int);
template void CProject::serialize(boost::archive::binary_oarchive &, unsigned int);
template void CProject::serialize(CBoundedBinaryIArchive &, unsigned int);
template void CManager::serialize(boost::archive::binary_oarchive &, unsigned int);
template void CManager::serialize(CBoundedBinaryIArchive &, unsigned int);
