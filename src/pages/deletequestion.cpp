#include "deletequestion.h"

#include "dbferrors.h"

void confirmDelete(const DeleteQuestion &ask)
{
    if (!ask || ask() != AnswerYes)
        throw SilentAbort();
}
