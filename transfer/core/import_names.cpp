#include "transfer/core/import_names.h"

#include "archive/tree.h"

const char* LastPathComponent(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

std::string DirectoryImportName(const char* path) {
  std::string directory = path ? path : "";
  while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
  std::string name = LastPathComponent(directory.c_str());
  if (name.find(':') != std::string::npos) return std::string();
  return name;
}
