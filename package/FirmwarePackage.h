// The firmware package reader and its process-wide store.
//
// A package is a text header (per-language revision and device setup texts) followed
// by "<CODE>" and the binary code image. The store holds the texts of the last package
// read, and its image after a read with loading. Called from one thread only.
#pragma once

#include <cstdint>
#include <string>

namespace zerviko {

enum : int {
  PACKAGE_OK = 0,
  PACKAGE_FILE_UNAVAILABLE = 1,  // missing, cannot be opened, or could not be read
  PACKAGE_UNUSABLE = 2,          // read, but a required marker is missing
};

// Empties the store, then parses the package at path in the section chosen by the
// language index (2 German, 3 Portuguese, 1 and 4 Spanish, any other English). With
// validateOnly false the code image is loaded into the store as well.
int ReadFirmwarePackage(const std::string& path, bool validateOnly, int languageIndex);

std::string GetPackageRevisionText();
std::string GetPackageDeviceSetupText();

// Sets *length to the image length and, when destination is given, copies the image
// into it; destination must hold at least *length bytes.
void GetPackageImage(std::uint8_t* destination, std::uint32_t* length);

void ClearPackage();

}  // namespace zerviko
