#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/failure_of.h"

#include "orvo/error.h"
#include "orvo/providers.h"
#include "support/fake_components.h"

namespace orvo {
namespace {

using testing::FailureOf;

using testing::FakeFormatProvider;
using testing::FakeStorageProvider;
using ::testing::HasSubstr;

TEST(ComponentRegistry, FailuresNameTheIdentifierAndTheOperation) {
  Error unknown = FailureOf([] { ComponentRegistry::Create("Test.Unregistered"); });
  EXPECT_EQ(unknown.Number(), 1);
  EXPECT_EQ(unknown.Source(), "ComponentRegistry.Create");
  EXPECT_THAT(unknown.Description(), HasSubstr("\"Test.Unregistered\""));

  ComponentRegistry::Register("Test.Storage",
                              [] { return std::make_shared<FakeStorageProvider>(); });
  Error wrong = FailureOf([] { ComponentRegistry::CreateAs<IFormatProvider>("Test.Storage"); });
  EXPECT_EQ(wrong.Number(), 1);
  EXPECT_EQ(wrong.Source(), "ComponentRegistry.Create");
  EXPECT_THAT(wrong.Description(), HasSubstr("\"Test.Storage\""));

  ComponentRegistry::Register("Test.Empty", [] { return std::shared_ptr<IComponent>(); });
  EXPECT_THAT(FailureOf([] { ComponentRegistry::Create("Test.Empty"); }).Description(),
              HasSubstr("\"Test.Empty\""));

  // A failure the factory raises itself reaches the caller unchanged.
  ComponentRegistry::Register("Test.Failing", []() -> std::shared_ptr<IComponent> {
    RaiseFailure(429, "Factory", "cannot start");
  });
  Error own = FailureOf([] { ComponentRegistry::Create("Test.Failing"); });
  EXPECT_EQ(own.Number(), 429);
  EXPECT_EQ(own.Source(), "Factory");
}

TEST(ComponentRegistry, HostRegistrationWinsOverDefaultsInEitherOrder) {
  auto host = [] { return std::make_shared<FakeFormatProvider>(); };
  auto fallback = [] { return std::make_shared<FakeStorageProvider>(); };

  // Default first, host later: the host replaces it.
  ComponentRegistry::RegisterDefault("Test.A", fallback);
  ComponentRegistry::Register("Test.A", host);
  EXPECT_NE(ComponentRegistry::CreateAs<IFormatProvider>("Test.A"), nullptr);

  // Host first, default later: the default does not replace it.
  ComponentRegistry::Register("Test.B", host);
  ComponentRegistry::RegisterDefault("Test.B", fallback);
  EXPECT_NE(ComponentRegistry::CreateAs<IFormatProvider>("Test.B"), nullptr);

  // Identifiers are exact; an empty factory removes a registration.
  EXPECT_THROW(ComponentRegistry::Create("test.b"), Error);
  ComponentRegistry::Register("Test.B", nullptr);
  EXPECT_THROW(ComponentRegistry::Create("Test.B"), Error);

  // Each creation is a new object.
  EXPECT_NE(ComponentRegistry::Create("Test.A"), ComponentRegistry::Create("Test.A"));

  // Registering hands back what it replaced, so it can be put back.
  ComponentRegistry::Factory replaced = ComponentRegistry::Register("Test.A", fallback);
  EXPECT_EQ(ComponentRegistry::Register("Test.C", nullptr), nullptr);
  ComponentRegistry::Register("Test.A", replaced);
  EXPECT_NE(ComponentRegistry::CreateAs<IFormatProvider>("Test.A"), nullptr);
}

}  // namespace
}  // namespace orvo
