// Home Assistant discovery configs as data: each entity's topic and the fields the MQTT integration reads.
#include "frames/mqtt/discoverydocuments.h"

#include "tests/support/qtprinters.h"
#include "tests/support/tablerows.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;

DiscoveryDocuments documents(const QString &configurationUrl = {})
{
    DiscoveryDocuments::Sensor sensor;
    sensor.discoveryPrefix = QStringLiteral("ha/disc");
    sensor.topic = QStringLiteral("site/Küche 2");
    sensor.name = QStringLiteral("Küche 2");
    sensor.expireAfterSeconds = 65;
    sensor.swVersion = QStringLiteral("1.4.0");
    sensor.configurationUrl = configurationUrl;
    return DiscoveryDocuments(sensor);
}

struct DocumentRow
{
    std::string name;
    std::function<DiscoveryConfig(const DiscoveryDocuments &)> config;
    QByteArray topic;
    // Every field expected as a string, "" for one that must be absent; numbers as JSON text.
    std::map<QString, QString> fields;
};

class DiscoveryDocumentTest : public ::testing::TestWithParam<DocumentRow>
{};

TEST_P(DiscoveryDocumentTest, HasTheFieldsHomeAssistantReads)
{
    const DocumentRow &row = GetParam();
    const DiscoveryConfig config = row.config(documents());
    EXPECT_EQ(config.topic, row.topic);
    for (const auto &[key, value] : row.fields) {
        const QJsonValue field = config.document.value(key);
        const QString text = field.isDouble() ? QString::number(field.toDouble()) : field.toString();
        EXPECT_EQ(text, value) << key.toStdString();
    }
    EXPECT_EQ(config.document[QStringLiteral("availability_topic")], QStringLiteral("site/Küche 2/availability"));
    EXPECT_EQ(config.document[QStringLiteral("payload_not_available")], QStringLiteral("offline"));
    const QJsonObject device = config.document[QStringLiteral("device")].toObject();
    EXPECT_EQ(device[QStringLiteral("identifiers")].toArray(), QJsonArray{QStringLiteral("vantrel_K_che_2")});
    EXPECT_EQ(device[QStringLiteral("sw_version")], QStringLiteral("1.4.0"));
}

const QString State = QStringLiteral("site/Küche 2/state");
const QString Targets = QStringLiteral("site/Küche 2/targets");

const DocumentRow documentRows[] = {
    {"Occupancy",
     &DiscoveryDocuments::occupancy,
     "ha/disc/binary_sensor/K_che_2/occupancy/config",
     {{"unique_id", "vantrel_K_che_2_occupancy"},
      {"device_class", "occupancy"},
      {"state_topic", State},
      {"value_template", "{{ 'ON' if value_json.occupancy else 'OFF' }}"},
      {"expire_after", "65"}}},
    {"Distance",
     &DiscoveryDocuments::distance,
     "ha/disc/sensor/K_che_2/distance/config",
     {{"unique_id", "vantrel_K_che_2_distance"},
      {"device_class", "distance"},
      {"unit_of_measurement", "cm"},
      {"state_topic", State},
      {"value_template", "{{ value_json.distance }}"},
      {"expire_after", "65"}}},
    {"Zone",
     [](const DiscoveryDocuments &d) { return d.zone(3); },
     "ha/disc/binary_sensor/K_che_2/zone_3/config",
     {{"unique_id", "vantrel_K_che_2_zone_3"},
      {"device_class", "occupancy"},
      {"state_topic", "site/Küche 2/zones"},
      {"value_template", "{{ 'ON' if value_json['3'] else 'OFF' }}"},
      {"expire_after", ""}}},
    {"TargetCount",
     &DiscoveryDocuments::targetCount,
     "ha/disc/sensor/K_che_2/target_count/config",
     {{"unique_id", "vantrel_K_che_2_target_count"},
      {"state_topic", Targets},
      {"value_template", "{{ value_json.count }}"},
      {"device_class", ""}}},
    {"TargetRange",
     &DiscoveryDocuments::targetRange,
     "ha/disc/sensor/K_che_2/target_range/config",
     {{"unique_id", "vantrel_K_che_2_target_range"},
      {"device_class", "distance"},
      {"unit_of_measurement", "m"},
      {"state_topic", Targets},
      {"value_template", "{{ value_json.range }}"}}},
    {"TargetAngle",
     &DiscoveryDocuments::targetAngle,
     "ha/disc/sensor/K_che_2/target_angle/config",
     {{"unique_id", "vantrel_K_che_2_target_angle"},
      {"unit_of_measurement", "°"},
      {"state_topic", Targets},
      {"value_template", "{{ value_json.angle }}"}}},
    {"EffectiveRange",
     &DiscoveryDocuments::effectiveRange,
     "ha/disc/sensor/K_che_2/effective_range/config",
     {{"unique_id", "vantrel_K_che_2_effective_range"},
      {"device_class", "distance"},
      {"unit_of_measurement", "m"},
      {"entity_category", "diagnostic"},
      {"state_topic", "site/Küche 2/power"},
      {"value_template", "{{ value_json.effective_range }}"}}},
    {"Hold",
     [](const DiscoveryDocuments &d) { return d.hold(0.5, 3600); },
     "ha/disc/number/K_che_2/hold/config",
     {{"unique_id", "vantrel_K_che_2_hold"},
      {"command_topic", "site/Küche 2/hold/set"},
      {"state_topic", "site/Küche 2/hold"},
      {"min", "0.5"},
      {"max", "3600"},
      {"step", "0.1"},
      {"unit_of_measurement", "s"},
      {"device_class", "duration"},
      {"mode", "box"},
      {"entity_category", "config"}}},
};

INSTANTIATE_TEST_SUITE_P(Entities, DiscoveryDocumentTest, ::testing::ValuesIn(documentRows), RowName());

TEST(DiscoveryDocuments, ConfigurationUrlOnlyWhenGiven)
{
    const auto device = [](const DiscoveryDocuments &d) {
        return d.occupancy().document[QStringLiteral("device")].toObject();
    };
    EXPECT_FALSE(device(documents()).contains(QStringLiteral("configuration_url")));
    EXPECT_EQ(device(documents(QStringLiteral("http://hall:8080/")))[QStringLiteral("configuration_url")],
              QStringLiteral("http://hall:8080/"));
}

} // namespace
} // namespace Vantrel::Test
