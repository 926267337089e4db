#include "ClientReading.h"

#include <algorithm>
#include <regex>

namespace Testing {

namespace {

const std::string kStatisticsPattern =
    R"(:.*?<B>(.*?)</B>.*?Total Qty:.*?<B>(.*?)</B>.*?Min Price:.*?<B>(.*?)&.*?;(.*?)(\d*[.,]\d*).*?Avg Price:.*?<B>(.*?)&.*?;(.*?)(\d*[.,]\d*).*?Qty Avg Price:.*?<B>(.*?)&.*?;(.*?)(\d*[.,]\d*).*?Max Price:.*?<B>(.*?)&.*?;(.*?)(\d*[.,]\d*))";
const std::regex kLotExpression(
    R"(/store\.asp\?sID=(.*?)&.*?box16(.?).*?<TD>(.*?)</TD>.*?;(.*?)&.*?;(.*?)(\d[\d,]*(?:\.\d*)?|\.\d+))");
const std::regex kColorExpression(R"(>([0-9]+)&nbsp;</TD>.*?=\"#?(.*?)\">.*?\"2\">(.*?)&)");

ReadStatistics ToStatistics(const std::smatch& match) {
  ReadStatistics statistics;
  statistics.available = true;
  statistics.lotCount = static_cast<std::uint32_t>(std::stoul(match[1].str()));
  statistics.totalQuantity = static_cast<std::uint32_t>(std::stoul(match[2].str()));
  statistics.minPrice = std::stod(match[5].str());
  statistics.averagePrice = std::stod(match[8].str());
  statistics.quantityAveragePrice = std::stod(match[11].str());
  statistics.maxPrice = std::stod(match[14].str());
  return statistics;
}

std::vector<ReadLot> ReadLots(const std::string& page, std::size_t start, std::size_t end) {
  std::vector<ReadLot> lots;
  const auto first = page.begin() + static_cast<std::ptrdiff_t>(start);
  const auto last = page.begin() + static_cast<std::ptrdiff_t>(end);
  for (std::sregex_iterator match(first, last, kLotExpression), done; match != done; ++match) {
    std::string price = (*match)[6].str();
    price.erase(std::remove(price.begin(), price.end(), ','), price.end());
    lots.push_back({static_cast<std::uint32_t>(std::stoul((*match)[1].str())), (*match)[2].str(),
                    static_cast<std::uint32_t>(std::stoul((*match)[3].str())), std::stod(price)});
  }
  return lots;
}

}  // namespace

std::optional<ReadPriceGuide> ReadPriceGuidePage(const std::string& page) {
  static const std::regex salesExpression("Times Sold" + kStatisticsPattern);
  static const std::regex lotsExpression("Total Lots" + kStatisticsPattern);
  const std::string available = "Currently Available";
  std::size_t listStart = page.find(available);
  if (listStart == std::string::npos) {
    listStart = page.size();
  }
  std::size_t position = page.find("C0C0C0");
  if (position == std::string::npos) {
    return std::nullopt;
  }
  ReadPriceGuide guide;
  for (int block = 0; block < 4; ++block) {
    const std::string label = block < 2 ? "Times Sold" : "Total Lots";
    const std::size_t unavailable = page.find("Unavailable", position);
    const std::size_t labelPosition = page.find(label, position);
    if (unavailable < labelPosition) {
      guide.blocks[block] = ReadStatistics{};
    } else {
      if (labelPosition == std::string::npos || labelPosition > listStart) {
        return std::nullopt;
      }
      std::smatch match;
      if (!std::regex_search(page.begin() + static_cast<std::ptrdiff_t>(labelPosition),
                             page.begin() + static_cast<std::ptrdiff_t>(listStart), match,
                             block < 2 ? salesExpression : lotsExpression) ||
          match.size() != 15) {
        return std::nullopt;
      }
      guide.blocks[block] = ToStatistics(match);
    }
    position = std::min(unavailable, labelPosition) + 1;
  }
  const bool hasNew = guide.blocks[2].lotCount != 0;
  const bool hasUsed = guide.blocks[3].lotCount != 0;
  const std::size_t first = page.find(available);
  if ((hasNew || hasUsed) && first == std::string::npos) {
    return std::nullopt;
  }
  if (hasNew && hasUsed) {
    const std::size_t second = page.find(available, first + 1);
    if (second == std::string::npos) {
      return std::nullopt;
    }
    guide.newLots = ReadLots(page, first, second);
    guide.usedLots = ReadLots(page, second, page.size());
  } else if (hasUsed) {
    guide.usedLots = ReadLots(page, first, page.size());
  } else if (hasNew) {
    guide.newLots = ReadLots(page, first, page.size());
  }
  return guide;
}

std::vector<ReadColor> ReadColorPage(const std::string& page) {
  std::vector<ReadColor> colors;
  for (std::sregex_iterator match(page.begin(), page.end(), kColorExpression), done; match != done;
       ++match) {
    colors.push_back({static_cast<std::uint32_t>(std::stoul((*match)[1].str())),
                      static_cast<std::uint32_t>(std::stoul((*match)[2].str(), nullptr, 16)),
                      (*match)[3].str()});
  }
  return colors;
}

std::optional<ReadStore> ReadStorePage(const std::string& page, const std::string& siteName) {
  const std::regex expression("<TITLE>(.*?) - " + siteName +
                              R"((?:.|\r|\n)*?uID=(.*?)&.*?&c=(.*?)&.*?&cn=(.*?)&)");
  std::smatch match;
  if (!std::regex_search(page, match, expression) || match.size() != 5) {
    return std::nullopt;
  }
  return ReadStore{match[1].str(), match[4].str()};
}

}  // namespace Testing
