#include "tools/PrometheusTargets.h"

#include <nlohmann/json.hpp>

#include <map>

namespace vexal::tools {

std::string PrometheusFileSd(const std::vector<client::SFoundHub>& hubs, uint16_t wPort) {
    std::map<std::string, std::vector<std::string>> byModel;
    for (const auto& hub : hubs)
        if (hub.bHub) byModel[hub.strModel].push_back(hub.strAddress + ":" + std::to_string(wPort));
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [strModel, targets] : byModel)
        list.push_back({{"targets", targets}, {"labels", {{"model", strModel}}}});
    // A model name that is not UTF-8 must not cost the whole list.
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace vexal::tools
