#include "errors/report.h"

#include "errors/output.h"
#include "errors/shown_text.h"
#include "errors/terror.h"
#include "errors/uerror.h"

namespace fieldkeep {

int reportFailure(std::exception_ptr failure) noexcept {
    try {
        // Whatever was printed before, the message is a line of its own.
        endLine();
        try {
            std::rethrow_exception(failure);
        } catch (const TUError& error) {
            writeLine(shownText(error.message));
            return 1;
        } catch (const talvor::TError& error) {
            writeLine(shownText(error.message()));
            return 1;
        } catch (...) {
            writeLine("Undefined error");
            return kUndefinedErrorStatus;
        }
    } catch (...) {
        // Writing the line itself failed; the status still tells the caller.
        return kUndefinedErrorStatus;
    }
}

}  // namespace fieldkeep
