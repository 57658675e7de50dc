#pragma once
// The command-line option that names each image, shared by `station` and `job new`.

#include <string_view>

#include "station/port_context.h"

namespace korvex::cli {

struct ImageOption {
  std::string_view option;
  ImageId image;
};
inline constexpr ImageOption kImageOptions[] = {
    {"--nand", kNandBin},       {"--loader", kLoaderBin}, {"--def-boot", kDefBootBin},
    {"--img-boot", kImgBootBin}, {"--minios", kMiniosBin}, {"--res", kResBin},
};

}  // namespace korvex::cli
