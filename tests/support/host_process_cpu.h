// host_process_cpu.h - CPU time of another Windows program as the host
// system counts it. Under Wine every Windows process is a Linux process, and
// GetProcessTimes does not report another process's times; the Linux
// process table (reached through drive Z:) does. Benchmarks only.
#pragma once

#include <string>

// The CPU time (user and system, milliseconds) of the one process whose
// command line contains fragment (case aside); -1 when there is none.
double HostProcessCpuMs(const std::string &commandLineFragment);
