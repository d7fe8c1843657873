#pragma once
// The decoding side of a roscpp subscription, bounded: a message longer than
// a limit is refused unread, and every array count is checked against the
// bytes left and a limit of elements before anything is sized from it
// (CheckedIStream), which also cuts every string to a limit. A refused
// message is reported to the owner and never reaches the callback; roscpp
// drops it. Put it in place of the helper that SubscribeOptions::init made:
//
//   ros::SubscribeOptions options;
//   options.init<M>(topic, queue, callback);
//   options.helper = boost::make_shared<CheckedSubscriptionHelper<M>>(callback, limit, refused, max_elements,
//                                                                      max_string);

#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <string>

#include <boost/make_shared.hpp>
#include <fmt/format.h>
#include <ros/subscription_callback_helper.h>

#include "checked_istream.h"

namespace Orvo {

template <typename M>
class CheckedSubscriptionHelper
    : public ros::SubscriptionCallbackHelperT<const boost::shared_ptr<const M>&> {
  using Base = ros::SubscriptionCallbackHelperT<const boost::shared_ptr<const M>&>;

public:
  // Told why a message of `length` bytes was refused.
  using Refused = std::function<void(const std::string& reason, uint32_t length)>;

  // Set-up; allocates.
  CheckedSubscriptionHelper(const typename Base::Callback& callback, uint32_t max_length, Refused refused,
                            uint32_t max_elements = std::numeric_limits<uint32_t>::max(),
                            uint32_t max_string = std::numeric_limits<uint32_t>::max())
      : Base(callback),
        _max_length(max_length),
        _max_elements(max_elements),
        _max_string(max_string),
        _refused(std::move(refused)) {}

  // The thread that drains the subscription's callback queue; allocates what
  // the message holds (at most about max_length bytes' worth). Null, after
  // telling the owner, for a refused message; never throws.
  ros::VoidConstPtr deserialize(const ros::SubscriptionCallbackHelperDeserializeParams& params) override {
    if (params.length > _max_length) {
      _refused(fmt::format("longer than the {} bytes allowed", _max_length), params.length);
      return {};
    }
    try {
      auto message = boost::make_shared<M>();
      CheckedIStream stream(params.buffer, params.length, _max_elements, _max_string);
      ros::serialization::deserialize(stream, *message);
      return message;
    } catch (const std::exception& error) {
      _refused(error.what(), params.length);
    }
    return {};
  }

private:
  uint32_t _max_length;
  uint32_t _max_elements;
  uint32_t _max_string;
  Refused _refused;
};

}  // namespace Orvo
