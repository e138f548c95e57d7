#pragma once

#include <string>

#include "report/AnswerUpload.h"

namespace tavi::serve {

// The answers of a job as the server keeps them: each accepted answer written to
// `folder`/N.txt (N from 1 in order).
UploadedAnswers AnswersInFolder(const std::string& folder);

}  // namespace tavi::serve
