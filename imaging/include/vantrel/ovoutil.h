// The utility library's process-wide state: the overlay store and direct-drawing
// state (see overlay.h), the profile-file accessor and the rounding rule used
// wherever scaled coordinates become pixels.
#ifndef VANTREL_OVOUTIL_H
#define VANTREL_OVOUTIL_H

#include <cstdint>
#include <string>

// 0; -7 no memory for the overlay store; 1 no memory for its line array.
int32_t OvoUtilInitialize();
void OvoUtilTerminate();

// Halves of positive numbers go up (2.5 -> 3), halves of negative numbers toward
// zero (-2.5 -> -2).
int32_t RoundToInt(double x);

// Typed reads and writes of one section of a profile (INI) file. A key that is
// missing, unreadable or literally "000" reads as the caller's default.
class OvoUtilIni {
 public:
  void SetFile(const std::string& path) { file_ = path; }
  void SetSection(const std::string& section) { section_ = section; }
  const std::string& File() const { return file_; }
  const std::string& Section() const { return section_; }

  void ReadInt(const std::string& key, int32_t* value, int32_t defaultValue) const;
  int32_t WriteInt(const std::string& key, int32_t value) const;  // 1 written, 0 failed
  void ReadDouble(const std::string& key, double* value, double defaultValue) const;
  int32_t WriteDouble(const std::string& key, double value) const;
  void ReadRect(const std::string& key, int32_t value[4], const int32_t defaultValue[4]) const;
  int32_t WriteRect(const std::string& key, const int32_t value[4]) const;

 private:
  std::string file_;
  std::string section_;
};

// The accessor that serves the station's settings file.
OvoUtilIni& OvoUtilSettingsIni();

#endif
