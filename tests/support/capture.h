// Captures what the core reports: swaps cerr's buffer for the lifetime of the object, the same way
// the desktop document collects its log.
#ifndef VARNHOLT_TEST_CAPTURE_H
#define VARNHOLT_TEST_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

class CerrCapture {
 public:
  CerrCapture() : old_(std::cerr.rdbuf(buffer_.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(old_); }
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;

  std::string Text() const { return buffer_.str(); }
  /// The captured text so far, emptying the capture.
  std::string Take() {
    std::string text = buffer_.str();
    buffer_.str({});
    return text;
  }

 private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

#endif
