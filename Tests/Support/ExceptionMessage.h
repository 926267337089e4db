#pragma once

#include <stdexcept>
#include <string>

namespace Testing {

// The message of the Exception that the call throws, or "no exception".
template <typename Exception, typename Call>
std::string MessageOf(Call&& call) {
  try {
    call();
  } catch (const Exception& error) {
    return error.what();
  }
  return "no exception";
}

template <typename Call>
std::string RuntimeErrorOf(Call&& call) {
  return MessageOf<std::runtime_error>(call);
}

}  // namespace Testing
