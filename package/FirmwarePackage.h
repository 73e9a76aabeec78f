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
// validateOnly false the code image is loaded into the store as well; a check that
// follows a load therefore discards the loaded image.
//
// Returns PACKAGE_FILE_UNAVAILABLE for a path that does not exist, is not a regular
// file (a folder, a device or a FIFO, refused without being opened), is locked by
// another program (flock), cannot be read, or whose image cannot be held in memory
// (no image is kept then). Returns PACKAGE_UNUSABLE
// when "<CODE>" or the chosen section, its "<REVISION>" or its "<DEVICE SETUP>" is
// missing. Texts stored before a failure stay in the store.
int ReadFirmwarePackage(const std::string& path, bool validateOnly, int languageIndex);

// Copies of the chosen section's texts: lines joined by CR LF, white space trimmed
// from both ends; empty when the block was not stored.
std::string GetPackageRevisionText();
std::string GetPackageDeviceSetupText();

// Sets *length to the image length and, when destination is given, copies the image
// into it; destination must hold at least *length bytes. Call it first without a
// destination to learn the size. A null length does nothing.
void GetPackageImage(std::uint8_t* destination, std::uint32_t* length);

// Empties the store: both texts empty, image freed, length 0.
void ClearPackage();

}  // namespace zerviko
