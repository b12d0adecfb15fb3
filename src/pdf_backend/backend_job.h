#pragma once

#include <string>

#include "pdf_backend/hot_folder_delivery.h"

// One job of the backend, from the queue's device URI to the backend's exit code: the hot folder
// is checked and its owner become, the PDF delivered, and every failure written to standard
// error as an "ERROR:" line, as CUPS reads it.
namespace pdf_backend {

// A CUPS backend exit code: done, failed (the queue's error policy decides), kept in the queue
// for a later try when the hot folder is missing or full, or cancelled when the job is no PDF.
int run_backend_job(const std::string& device_uri, const std::string& title, int input,
                    WriteCall write_call = ::write);

}  // namespace pdf_backend
