#include "ResultStatus.h"

namespace ombrix::server {

int HttpStatus(ActionResult result) {
    switch (result) {
        case ActionResult::Done: return 200;
        case ActionResult::Refused: return 400;
        case ActionResult::NotConnected: return 404;
        case ActionResult::Failed: return 502;
        case ActionResult::LineDown: return 503;
    }
    return 500;
}

int HttpStatus(ScheduleResult result) {
    switch (result) {
        case ScheduleResult::Done: return 200;
        case ScheduleResult::Refused: return 400;
        case ScheduleResult::Busy: return 503;
        case ScheduleResult::NotSaved: return 500;
    }
    return 500;
}

int HttpStatus(HistoryResult result) {
    switch (result) {
        case HistoryResult::Done: return 200;
        case HistoryResult::BadRequest: return 400;
        case HistoryResult::NotFound: return 404;
        case HistoryResult::Refused: return 409;
        case HistoryResult::ProjectorFailed: return 502;
        case HistoryResult::StoreUnavailable: return 503;
    }
    return 500;
}

}  // namespace ombrix::server
