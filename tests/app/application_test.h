#pragma once

namespace Vantrel {
class Application;
}

extern Vantrel::Application *testApplication;
