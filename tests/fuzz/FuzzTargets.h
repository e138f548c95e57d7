#pragma once

#include <cstddef>
#include <cstdint>

namespace tavi::fuzz {

// Each takes one input of the fuzzer and returns 0; the regression test replays the kept inputs.
int FuzzReader(const uint8_t* data, size_t size);            // reader, full width, long lines, analysis
int FuzzAnalysisFeatures(const uint8_t* data, size_t size);  // splitter and every feature and score
int FuzzSettingsFile(const uint8_t* data, size_t size);      // content-model settings file
int FuzzDictionary(const uint8_t* data, size_t size);        // content-model dictionary
int FuzzMatrix(const uint8_t* data, size_t size);            // content-model matrix file
int FuzzParameterFile(const uint8_t* data, size_t size);     // the document's stored form
int FuzzSheet(const uint8_t* data, size_t size);             // a sheet: CSV or an Excel workbook

}  // namespace tavi::fuzz
