// Reading the list of running processes and naming each, the way the Windows
// services must be used; portable, so that both builds test it with a fake
// source. The Windows layer supplies the real source.
#ifndef KX_PLATFORM_PROCESS_LIST_H_
#define KX_PLATFORM_PROCESS_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

/// What the system tells about its processes.
class ProcessSource {
 public:
  virtual ~ProcessSource() = default;
  /// Writes at most `capacity` process ids into `ids` and their number into
  /// `*returned`; a full buffer may mean that more did not fit. False when the
  /// list cannot be read.
  virtual bool ListIds(uint32_t* ids, size_t capacity, size_t* returned) = 0;
  /// The base name of the process's main module, with full query access.
  /// False when the process cannot be opened that way or its modules listed.
  virtual bool ModuleBaseName(uint32_t id, std::string* name) = 0;
  /// The full path of the process's image file, with limited query access
  /// (what a process of another session, a service or SYSTEM still allows).
  /// False when that fails too.
  virtual bool ImagePath(uint32_t id, std::string* path) = 0;
};

/// Every process id: the buffer grows until the whole list fits (a list that
/// fills the buffer is asked for again with a larger one). False when the list
/// cannot be read.
bool ListAllProcessIds(ProcessSource& source, std::vector<uint32_t>* ids);

/// The base name of a process: its main module's, else the last component of
/// its image path. False when neither way names it.
bool NameOfProcess(ProcessSource& source, uint32_t id, std::string* name);

/// The names of all processes that can be named, in listing order (id 0, the
/// idle process, is skipped). False when the list cannot be read.
bool ProcessNamesFrom(ProcessSource& source, std::vector<std::string>* names);

}  // namespace os

#endif  // KX_PLATFORM_PROCESS_LIST_H_
