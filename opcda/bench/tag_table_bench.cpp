// Tag table benchmark: declare 100,000 tags, set each once, look each up by
// item ID and read each by handle; prints nanoseconds per operation.
#include "svr_data.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

double Seconds(const LARGE_INTEGER &from, const LARGE_INTEGER &to, const LARGE_INTEGER &freq)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

} // namespace

int main()
{
    const int kTags = 100000;
    std::vector<std::string> names;
    names.reserve(kTags);
    for (int i = 0; i < kTags; ++i)
        names.push_back("Plant" + std::to_string(i % 17) + ".Line" + std::to_string(i % 101) +
                        ".Tag" + std::to_string(i));

    CSvrData table;
    LARGE_INTEGER freq, t0, t1, t2, t3, t4;
    QueryPerformanceFrequency(&freq);

    QueryPerformanceCounter(&t0);
    for (int i = 0; i < kTags; ++i)
        table.AddTag(names[i].c_str(), names[i].c_str(), "", DAKORA_TAG_R8, 1);
    QueryPerformanceCounter(&t1);

    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R8;
    for (int i = 0; i < kTags; ++i) {
        V_R8(&v) = i * 0.5;
        table.SetValue(names[i].c_str(), &v, 192, 0, 0);
    }
    QueryPerformanceCounter(&t2);

    std::vector<DWORD> handles(kTags);
    ItemInfo info;
    for (int i = 0; i < kTags; ++i) {
        lstrcpynA(info.itemId, names[i].c_str(), sizeof(info.itemId));
        handles[i] = table.LookupItem(info) ? info.handle : 0;
    }
    QueryPerformanceCounter(&t3);

    // The bridge's way: every value of a pass by handle, in one call.
    std::vector<VARIANT> values(kTags);
    std::vector<WORD> qualities(kTags, 192);
    std::vector<FILETIME> times(kTags, FILETIME{0, 0});
    for (int i = 0; i < kTags; ++i) {
        VariantInit(&values[i]);
        V_VT(&values[i]) = VT_R8;
        V_R8(&values[i]) = i * 0.5;
    }
    LARGE_INTEGER b0, b1;
    QueryPerformanceCounter(&b0);
    table.SetValues(kTags, handles.data(), values.data(), qualities.data(), times.data(), nullptr);
    QueryPerformanceCounter(&b1);

    double sum = 0;
    for (int i = 0; i < kTags; ++i) {
        VARIANT out;
        FILETIME ts;
        WORD quality;
        if (table.ReadValue(handles[i], &ts, &quality, &out))
            sum += V_R8(&out);
        VariantClear(&out);
    }
    QueryPerformanceCounter(&t4);

    const double n = kTags;
    std::printf("tag table, %d tags (%s)\n", kTags, sizeof(void *) == 4 ? "i686" : "x86_64");
    std::printf("  declare          %8.1f ns/op\n", Seconds(t0, t1, freq) * 1e9 / n);
    std::printf("  set value        %8.1f ns/op\n", Seconds(t1, t2, freq) * 1e9 / n);
    std::printf("  lookup by name   %8.1f ns/op\n", Seconds(t2, t3, freq) * 1e9 / n);
    std::printf("  set by handle    %8.1f ns/op (all values in one call)\n", Seconds(b0, b1, freq) * 1e9 / n);
    std::printf("  read by handle   %8.1f ns/op\n", Seconds(t3, t4, freq) * 1e9 / n);
    std::printf("  (checksum %.1f)\n", sum);
    return 0;
}
