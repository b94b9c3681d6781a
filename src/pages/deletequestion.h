// The question every page asks before its table deletes a record.
#pragma once

#include <functional>

// Shows the delete question and returns the answer; AnswerYes (6, "Oui") lets the delete go on.
using DeleteQuestion = std::function<int()>;
inline constexpr int AnswerYes = 6;

// The BeforeDelete of the three tables: throws SilentAbort unless the answer is yes. Without a
// question every delete is refused.
void confirmDelete(const DeleteQuestion &ask);
