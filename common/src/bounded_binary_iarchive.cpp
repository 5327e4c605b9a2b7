// bounded_binary_iarchive.cpp - the checks of CBoundedBinaryIArchive, and
// the archive library's templates instantiated for it.
#include "bounded_binary_iarchive.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/impl/archive_serializer_map.ipp>
#include <boost/archive/impl/basic_binary_iarchive.ipp>
#include <boost/archive/impl/basic_binary_iprimitive.ipp>

#include <cstring>

namespace boost {
namespace archive {
template class detail::archive_serializer_map<CBoundedBinaryIArchive>;
template class basic_binary_iprimitive<CBoundedBinaryIArchive, char, std::char_traits<char>>;
template class basic_binary_iarchive<CBoundedBinaryIArchive>;
template class binary_iarchive_impl<CBoundedBinaryIArchive, char, std::char_traits<char>>;
} // namespace archive
} // namespace boost

namespace {

using boost::archive::archive_exception;
using boost::archive::detail::basic_iarchive;
using boost::archive::detail::basic_iserializer;
using boost::archive::detail::basic_pointer_iserializer;

[[noreturn]] void Refuse(archive_exception::exception_code code)
{
    throw archive_exception(code);
}

} // namespace

CArchiveInputBytes::CArchiveInputBytes(const char *data, std::size_t size)
{
    char *begin = const_cast<char *>(data); // read only: no put area, no putback
    setg(begin, begin, begin + size);
}

CBoundedBinaryIArchive::CBoundedBinaryIArchive(const char *data, std::size_t size, unsigned int flags)
    : InputHolder(data, size), Base(m_input, flags | boost::archive::no_codecvt)
{
    // The library reads the version byte after the signature without
    // checking for the end of the input.
    if ((flags & boost::archive::no_header) == 0 &&
        size < sizeof(std::size_t) + std::strlen(boost::archive::BOOST_ARCHIVE_SIGNATURE()) + 1)
        Refuse(archive_exception::invalid_signature);
    init(flags);
}

void CBoundedBinaryIArchive::load(std::string &s)
{
    std::size_t length = 0;
    load(length);
    if (length > kMaxText || length > BytesLeft())
        Refuse(archive_exception::input_stream_error);
    s.resize(length);
    if (length > 0)
        load_binary(&s[0], length);
}

void CBoundedBinaryIArchive::load_override(boost::serialization::collection_size_type &t)
{
    Base::load_override(t);
    // Every element takes at least one byte.
    const std::size_t count = t;
    if (count > kMaxCount || count > BytesLeft())
        Refuse(archive_exception::input_stream_error);
}

void CBoundedBinaryIArchive::load_override(boost::archive::tracking_type &t)
{
    // One byte in every archive version, saved as 0 or 1.
    unsigned char flag = 0;
    load(flag);
    if (flag > 1)
        Refuse(archive_exception::input_stream_error);
    t = boost::archive::tracking_type(flag == 1);
}

int CBoundedBinaryIArchive::ClassIdOf(const basic_iserializer *serializer)
{
    const auto known = m_classIds.find(serializer);
    return known == m_classIds.end() ? -1 : known->second;
}

void CBoundedBinaryIArchive::register_basic_serializer(const basic_iserializer &bis)
{
    m_classIds.emplace(&bis, static_cast<int>(m_classIds.size()));
    basic_iarchive::register_basic_serializer(bis);
}

void CBoundedBinaryIArchive::load_override(boost::archive::class_id_type &t)
{
    Base::load_override(t);
    const int id = t;
    if (id == -1)
        return; // a null pointer
    if (!m_inPointer || m_pointerClass == nullptr)
        Refuse(archive_exception::unregistered_class);
    // The class loaded through this pointer, under the id the library gave
    // it, or the next id when it has none yet.
    const int expected = ClassIdOf(m_pointerClass);
    if (expected >= 0 ? id != expected : id != static_cast<int>(m_classIds.size()))
        Refuse(archive_exception::unregistered_class);
    if (expected < 0)
        m_classIds.emplace(m_pointerClass, id);
    m_objectClass = m_pointerClass;
}

void CBoundedBinaryIArchive::load_override(boost::archive::object_id_type &t)
{
    Base::load_override(t);
    const std::size_t id = t;
    if (id < m_objects.size()) {
        // A pointer to an object read earlier.
        const TrackedObject &earlier = m_objects[id];
        if (m_inPointer && !(earlier.throughPointer && earlier.complete && earlier.serializer == m_objectClass))
            Refuse(archive_exception::pointer_conflict);
    } else {
        // A new object: the library adds it to its list next.
        if (m_inPointer)
            m_pointerObject = static_cast<long>(m_objects.size());
        m_objects.push_back(TrackedObject{m_objectClass, m_inPointer, false});
    }
    m_inPointer = false;
}

namespace {

// Restores what the archive expects next when a nested load is done.
template <typename T>
class CRestore {
public:
    explicit CRestore(T &value) : m_value(value), m_saved(value) {}
    ~CRestore() { m_value = m_saved; }
    CRestore(const CRestore &) = delete;
    CRestore &operator=(const CRestore &) = delete;

private:
    T &m_value;
    T m_saved;
};

} // namespace

void CBoundedBinaryIArchive::load_object(void *t, const basic_iserializer &bis)
{
    // The library registers the class before it reads anything.
    m_classIds.emplace(&bis, static_cast<int>(m_classIds.size()));
    CRestore<bool> inPointer(m_inPointer);
    CRestore<const basic_iserializer *> objectClass(m_objectClass);
    m_inPointer = false;
    m_objectClass = &bis;
    basic_iarchive::load_object(t, bis);
}

const basic_pointer_iserializer *
CBoundedBinaryIArchive::load_pointer(void *&t, const basic_pointer_iserializer *bpis,
                                     const basic_pointer_iserializer *(*finder)(
                                         const boost::serialization::extended_type_info &))
{
    CRestore<bool> inPointer(m_inPointer);
    CRestore<const basic_iserializer *> pointerClass(m_pointerClass);
    CRestore<const basic_iserializer *> objectClass(m_objectClass);
    CRestore<long> pointerObject(m_pointerObject);
    m_inPointer = true;
    m_pointerClass = bpis != nullptr ? &bpis->get_basic_serializer() : nullptr;
    m_objectClass = nullptr;
    m_pointerObject = -1;
    const basic_pointer_iserializer *loaded = basic_iarchive::load_pointer(t, bpis, finder);
    if (m_pointerObject >= 0)
        m_objects[static_cast<std::size_t>(m_pointerObject)].complete = true;
    return loaded;
}
