// bounded_binary_iarchive.h - CBoundedBinaryIArchive, the binary input
// archive for bytes that another program wrote (the project file, the
// shared segment's snapshot). It reads exactly the format of Boost's
// binary_iarchive, from a range of bytes in memory, but checks what the
// plain archive takes on trust before anything is allocated or indexed:
//   - a text's length and a collection's element count against the bytes
//     left in the input and against a sane maximum;
//   - a pointer's class id against the class the program loads there (the
//     plain archive indexes its class table with it unchecked);
//   - a pointer's reference to an earlier object: it must be a complete
//     object of the same class, itself loaded through a pointer;
//   - a class's tracking flag: 0 or 1 (the plain archive copies the byte
//     into a bool).
// A violation throws boost::archive::archive_exception, as any other
// unreadable input does.
#pragma once

#include <boost/archive/binary_iarchive_impl.hpp>
#include <boost/archive/detail/register_archive.hpp>
#include <boost/serialization/collection_size_type.hpp>

#include <cstddef>
#include <map>
#include <streambuf>
#include <string>
#include <vector>

// The input bytes as a stream buffer that knows how many are left.
class CArchiveInputBytes : public std::streambuf {
public:
    CArchiveInputBytes(const char *data, std::size_t size);
    std::size_t Left() const { return static_cast<std::size_t>(egptr() - gptr()); }
};

namespace detail_bounded_archive {
// Built before the archive base, which reads the header from it.
struct InputHolder {
    InputHolder(const char *data, std::size_t size) : m_input(data, size) {}
    CArchiveInputBytes m_input;
};
} // namespace detail_bounded_archive

class CBoundedBinaryIArchive
    : private detail_bounded_archive::InputHolder,
      public boost::archive::binary_iarchive_impl<CBoundedBinaryIArchive, char, std::char_traits<char>> {
    typedef boost::archive::binary_iarchive_impl<CBoundedBinaryIArchive, char, std::char_traits<char>> Base;
    typedef boost::archive::basic_binary_iprimitive<CBoundedBinaryIArchive, char, std::char_traits<char>>
        Primitive;

public:
    // Longest text and largest element count accepted from an archive.
    static const std::size_t kMaxText = 1u << 20;
    static const std::size_t kMaxCount = 1u << 20;

    // Reads and checks the archive header at once (unless flags hold
    // boost::archive::no_header); throws archive_exception when it is not one.
    CBoundedBinaryIArchive(const char *data, std::size_t size, unsigned int flags = 0);

    std::size_t BytesLeft() const { return m_input.Left(); }

    // Called by the serialization library through the derived archive.
    void register_basic_serializer(const boost::archive::detail::basic_iserializer &bis);
    void load_object(void *t, const boost::archive::detail::basic_iserializer &bis);
    const boost::archive::detail::basic_pointer_iserializer *
    load_pointer(void *&t, const boost::archive::detail::basic_pointer_iserializer *bpis,
                 const boost::archive::detail::basic_pointer_iserializer *(*finder)(
                     const boost::serialization::extended_type_info &));
    // Primitive loads; texts with their length checked.
    using Primitive::load;
    void load(std::string &s);

protected:
    friend class boost::archive::detail::interface_iarchive<CBoundedBinaryIArchive>;
    friend class boost::archive::basic_binary_iarchive<CBoundedBinaryIArchive>;
    friend class boost::archive::load_access;

    template <class T>
    void load_override(T &t)
    {
        Base::load_override(t);
    }
    void load_override(boost::serialization::collection_size_type &t);
    void load_override(boost::archive::class_id_type &t);
    void load_override(boost::archive::object_id_type &t);
    void load_override(boost::archive::tracking_type &t);

private:
    // An object that the archive gave an object id.
    struct TrackedObject {
        const boost::archive::detail::basic_iserializer *serializer;
        bool throughPointer;
        bool complete;
    };

    // Class ids in the order the archive library hands them out.
    int ClassIdOf(const boost::archive::detail::basic_iserializer *serializer);

    std::map<const boost::archive::detail::basic_iserializer *, int> m_classIds;
    std::vector<TrackedObject> m_objects;
    // What the next class id and object id read belong to.
    const boost::archive::detail::basic_iserializer *m_pointerClass = nullptr;
    const boost::archive::detail::basic_iserializer *m_objectClass = nullptr;
    bool m_inPointer = false;
    // The object id entry of the pointer being loaded; -1 before it is read.
    long m_pointerObject = -1;
};

BOOST_SERIALIZATION_REGISTER_ARCHIVE(CBoundedBinaryIArchive)
