// Portable: no operating-system calls here; both builds compile and test it.
#include "platform/process_list.h"

namespace os {
namespace {

constexpr size_t kFirstCapacity = 1024;
constexpr size_t kMostProcesses = size_t{1} << 22;  // far beyond any real machine

}  // namespace

bool ListAllProcessIds(ProcessSource& source, std::vector<uint32_t>* ids) {
  ids->clear();
  for (size_t capacity = kFirstCapacity; capacity <= kMostProcesses; capacity *= 2) {
    ids->assign(capacity, 0);
    size_t returned = 0;
    if (!source.ListIds(ids->data(), capacity, &returned)) {
      ids->clear();
      return false;
    }
    if (returned < capacity) {
      ids->resize(returned);
      return true;
    }
  }
  return true;  // the largest buffer, full: as much as can be had
}

bool NameOfProcess(ProcessSource& source, uint32_t id, std::string* name) {
  if (source.ModuleBaseName(id, name) && !name->empty()) return true;
  std::string path;
  if (!source.ImagePath(id, &path) || path.empty()) return false;
  const size_t separator = path.find_last_of("\\/");
  *name = separator == std::string::npos ? path : path.substr(separator + 1);
  return !name->empty();
}

bool ProcessNamesFrom(ProcessSource& source, std::vector<std::string>* names) {
  names->clear();
  std::vector<uint32_t> ids;
  if (!ListAllProcessIds(source, &ids)) return false;
  for (uint32_t id : ids) {
    std::string name;
    if (id != 0 && NameOfProcess(source, id, &name)) names->push_back(name);
  }
  return true;
}

}  // namespace os
