// A catalogue filled directly with add_file, emptied again after each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/filter.h"
#include "catalogue/ordering.h"

namespace dravelo {

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override { clear(); }
  void TearDown() override { clear(); }

  static void clear() {
    reset_catalogue();
    custom_filter = TCustomFilter{};
    filter_parent = 0;
    filter_drv = 0;
    filter_app = 0;
    reset_sort_state();
  }

  static FileInfo& add(const std::string& name, std::int64_t size = 0, int percent = 100) {
    FileInfo e;
    e.FileName = name;
    e.Path = "E:\\";
    e.drv = 'e';
    e.parent = kRootFolder;
    e.FileSize = size;
    e.Percent = static_cast<std::int8_t>(percent);
    return add_file(std::move(e));
  }

  // The names of the rows on view, in row order.
  static std::vector<std::string> shown() {
    std::vector<std::string> out;
    for (std::int32_t k : visible_files) out.push_back(file_list[k].FileName);
    return out;
  }

  // The names of the whole catalogue, in catalogue order.
  static std::vector<std::string> catalogue_names() {
    std::vector<std::string> out;
    for (std::int32_t k = 0; k < file_count(); ++k) out.push_back(file_list[k].FileName);
    return out;
  }
};

}  // namespace dravelo
