#include "host/scene_session.h"

#include "host/scene_file.h"

namespace korv::host {

std::size_t load_instance_state(const ShaderSession &session, const StateItems &state) {
  StateReader reader(state, LWIO_ASCII);
  session.handler().inst->load(session.instance(), reader.state());
  return reader.shortfalls();
}

StateItems save_instance_state(const ShaderSession &session, bool &complete) {
  StateWriter writer(LWIO_ASCII);
  session.handler().inst->save(session.instance(), writer.state());
  complete = writer.complete();
  return writer.items();
}

bool load_scene(const ShaderSession &session, const std::string &path, SceneLoad &result,
                std::string &error) {
  SceneFile scene;
  ParseReport report;
  ParseReport shader_report;
  if (!read_scene_file(path, scene, report, shader_report, error)) {
    return false;
  }
  result.object = scene.object;
  result.problems = report.problems;
  result.problems.insert(result.problems.end(), shader_report.problems.begin(),
                         shader_report.problems.end());
  result.block_incomplete = !shader_report.complete();
  if (!scene.has_shader) {
    result.problems.push_back("the scene holds no settings for " + std::string(kSceneShaderName));
    result.block_incomplete = true;
    return true;
  }
  if (load_instance_state(session, scene.shader) > 0) {
    result.block_incomplete = true;
  }
  return true;
}

bool save_scene(const ShaderSession &session, const std::string &path, const std::string &object,
                std::string &error, std::string &warning) {
  SceneFile scene;
  scene.object = object;
  scene.has_shader = true;
  bool complete = true;
  scene.shader = save_instance_state(session, complete);
  if (!complete) {
    warning = "the module's save left its blocks unbalanced; the scene holds what it wrote";
  }
  return write_scene_file(path, scene, error);
}

}  // namespace korv::host
