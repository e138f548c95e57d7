#pragma once

#include <string>

namespace tavi {

// Everything the user can tune about scoring. Reals are doubles, integers 32-bit.
// The twelve rhetoric ratios sum to 1 by default, as do the two organization ratios; the
// three axis weights are not normalised. No range is enforced here.
struct ScoringParams {
    double expectedLength = 800.0;  // characters; doubled to compare with byte lengths
    double rhetoricWeight = 5.0;
    double organizationWeight = 2.0;
    double contentWeight = 3.0;
    int paragraphMode = 0;                     // 0: blank lines separate paragraphs; 1: every line break
    int modelChoice = 0;                       // 0, 1: built-in models; 2: a file the user picks
    std::string modelPath = "yoroku2000.tcf";  // Shift_JIS; without "/" it names a built-in model
    double sentenceLengthMedianWeight = 0.05;
    double phraseLengthMedianWeight = 0.05;
    double bunsetsuPerPhraseMedianWeight = 0.05;
    double sentenceLengthMaxWeight = 0.05;
    double phraseLengthMaxWeight = 0.05;
    double bunsetsuPerPhraseMaxWeight = 0.05;
    double vocabularyDiversityWeight = 0.2;
    double kanaKanjiRatioWeight = 0.1;
    double longReadingKanjiWeight = 0.1;
    double passiveRateWeight = 0.1;
    double attributiveSentencesWeight = 0.1;
    double continuativeSentencesWeight = 0.1;
    double cueWordWeight = 0.5;
    double demonstrativeWeight = 0.5;
};

// The twelve rhetoric ratios and the two organization ratios, in the order of the dialog and
// of the parameter file.
inline constexpr double ScoringParams::*kRhetoricRatios[] = {
    &ScoringParams::sentenceLengthMedianWeight,    &ScoringParams::phraseLengthMedianWeight,
    &ScoringParams::bunsetsuPerPhraseMedianWeight, &ScoringParams::sentenceLengthMaxWeight,
    &ScoringParams::phraseLengthMaxWeight,         &ScoringParams::bunsetsuPerPhraseMaxWeight,
    &ScoringParams::vocabularyDiversityWeight,     &ScoringParams::kanaKanjiRatioWeight,
    &ScoringParams::longReadingKanjiWeight,        &ScoringParams::passiveRateWeight,
    &ScoringParams::attributiveSentencesWeight,    &ScoringParams::continuativeSentencesWeight,
};
inline constexpr double ScoringParams::*kOrganizationRatios[] = {&ScoringParams::cueWordWeight,
                                                                 &ScoringParams::demonstrativeWeight};

// The built-in model file of each model choice (0 and 1).
inline const char* BuiltInModelFile(int choice) { return choice == 1 ? "syasetsu2000.tcf" : "yoroku2000.tcf"; }

}  // namespace tavi
