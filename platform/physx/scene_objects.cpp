#include "platform/physx/scene_objects.h"

#include <algorithm>
#include <cmath>

#include "platform/physx/physics_scene.h"

namespace nxsdk {

NxScene& Material::getScene() const {
    return m_scene;
}

NxMat34 ShapeCore::globalPose() const {
    if (type == NX_SHAPE_PLANE || !actor) return localPose;
    return actor->getGlobalPose() * localPose;
}

template <class Iface>
NxActor& ShapeImpl<Iface>::getActor() const {
    return *core.actor;
}

template class ShapeImpl<NxPlaneShape>;
template class ShapeImpl<NxSphereShape>;
template class ShapeImpl<NxBoxShape>;

namespace {

NxShape* makeShape(const NxShapeDesc& desc, Actor* actor, ShapeCore*& core) {
    NxShape* shape = nullptr;
    switch (desc.type) {
        case NX_SHAPE_PLANE: {
            auto* s = new PlaneShape;
            const auto& d = static_cast<const NxPlaneShapeDesc&>(desc);
            NxVec3 n = d.normal;
            n.normalize();
            s->core.plane = NxPlane(n, d.d);
            core = &s->core;
            shape = s;
            break;
        }
        case NX_SHAPE_SPHERE: {
            auto* s = new SphereShape;
            s->core.radius = static_cast<const NxSphereShapeDesc&>(desc).radius;
            core = &s->core;
            shape = s;
            break;
        }
        case NX_SHAPE_BOX: {
            auto* s = new BoxShape;
            s->core.halfExtents = static_cast<const NxBoxShapeDesc&>(desc).dimensions;
            core = &s->core;
            shape = s;
            break;
        }
        default:
            return nullptr;
    }
    core->type = desc.type;
    core->localPose = desc.localPose;
    core->material = desc.materialIndex;
    core->flags = desc.shapeFlags;
    core->density = desc.density;
    core->mass = desc.mass;
    core->actor = actor;
    core->shape = shape;
    shape->userData = desc.userData;
    return shape;
}

float shapeVolume(const ShapeCore& c) {
    switch (c.type) {
        case NX_SHAPE_SPHERE:
            return 4.0f / 3.0f * NxPi * c.radius * c.radius * c.radius;
        case NX_SHAPE_BOX:
            return 8.0f * c.halfExtents.x * c.halfExtents.y * c.halfExtents.z;
        default:
            return 0.0f;
    }
}

// Principal moments of a solid shape of mass m about its own centre.
NxVec3 shapeInertia(const ShapeCore& c, float m) {
    if (c.type == NX_SHAPE_SPHERE) return NxVec3(0.4f * m * c.radius * c.radius);
    const NxVec3& e = c.halfExtents;
    return NxVec3(m * (e.y * e.y + e.z * e.z) / 3.0f, m * (e.x * e.x + e.z * e.z) / 3.0f,
                  m * (e.x * e.x + e.y * e.y) / 3.0f);
}

}  // namespace

Actor::Actor(Scene& scene, const NxActorDesc& desc, float skinWidth, float sleepLin2,
             float sleepAng2)
    : m_scene(scene),
      m_dynamic(desc.body != nullptr),
      m_flags(desc.flags),
      m_pose(desc.globalPose),
      m_skinWidth(skinWidth) {
    userData = desc.userData;
    for (const NxShapeDesc* sd : desc.shapes) {
        ShapeCore* core = nullptr;
        NxShape* shape = makeShape(*sd, this, core);
        if (!shape) continue;
        m_shapes.push_back(shape);
        m_cores.push_back(core);
    }
    if (m_dynamic) {
        const NxBodyDesc& b = *desc.body;
        m_body.linearVelocity = b.linearVelocity;
        m_body.angularVelocity = b.angularVelocity;
        m_body.linearDamping = b.linearDamping;
        m_body.angularDamping = b.angularDamping;
        if (b.maxAngularVelocity > 0.0f) m_body.maxAngularVelocity = b.maxAngularVelocity;
        m_body.flags = b.flags;
        m_body.solverIterations = b.solverIterationCount;
        m_body.wakeUpTime = b.wakeUpCounter;
        m_body.sleepLinear2 = b.sleepLinearVelocity >= 0.0f
                                  ? b.sleepLinearVelocity * b.sleepLinearVelocity
                                  : sleepLin2;
        m_body.sleepAngular2 = b.sleepAngularVelocity >= 0.0f
                                   ? b.sleepAngularVelocity * b.sleepAngularVelocity
                                   : sleepAng2;
        computeMass(desc);
    }
}

Actor::~Actor() {
    for (NxShape* s : m_shapes) {
        if (auto* p = s->isPlane())
            delete static_cast<PlaneShape*>(p);
        else if (auto* sp = s->isSphere())
            delete static_cast<SphereShape*>(sp);
        else if (auto* b = s->isBox())
            delete static_cast<BoxShape*>(b);
    }
}

void Actor::computeMass(const NxActorDesc& desc) {
    // Shape masses: the shape's own mass, or its volume times the actor's density (or the
    // shape's density when the actor gives none).
    float total = 0.0f;
    NxVec3 centre(0, 0, 0);
    std::vector<float> masses;
    for (const ShapeCore* c : m_cores) {
        float m = c->mass > 0.0f
                      ? c->mass
                      : shapeVolume(*c) * (desc.density > 0.0f ? desc.density : c->density);
        masses.push_back(m);
        total += m;
        centre += c->localPose.t * m;
    }
    if (total > 0.0f) centre *= 1.0f / total;
    NxVec3 inertia(0, 0, 0);
    for (size_t k = 0; k < m_cores.size(); ++k) {
        const NxVec3 d = m_cores[k]->localPose.t - centre;
        inertia += shapeInertia(*m_cores[k], masses[k]);
        inertia +=
            NxVec3(d.y * d.y + d.z * d.z, d.x * d.x + d.z * d.z, d.x * d.x + d.y * d.y) * masses[k];
    }
    const NxBodyDesc& b = *desc.body;
    if (b.mass > 0.0f) {
        const float scale = total > 0.0f ? b.mass / total : 1.0f;
        inertia *= scale;
        total = b.mass;
    }
    if (b.massSpaceInertia.x > 0.0f && b.massSpaceInertia.y > 0.0f && b.massSpaceInertia.z > 0.0f)
        inertia = b.massSpaceInertia;
    if (b.massLocalPose.t.magnitudeSquared() > 0.0f) centre = b.massLocalPose.t;
    m_body.mass = total > 0.0f ? total : 1.0f;
    m_body.invMass = 1.0f / m_body.mass;
    m_body.centreOfMass = centre;
    for (int k = 0; k < 3; ++k) m_body.invInertia[k] = inertia[k] > 0.0f ? 1.0f / inertia[k] : 0.0f;
}

NxScene& Actor::getScene() const {
    return m_scene;
}

bool Actor::ownsShape(const NxShape* s) const {
    return std::find(m_shapes.begin(), m_shapes.end(), s) != m_shapes.end();
}

void Actor::raiseBodyFlag(NxBodyFlag flag) {
    if (!m_dynamic) return;
    m_scene.waitForStep();
    m_body.flags |= flag;
    if (flag == NX_BF_KINEMATIC) {
        m_body.linearVelocity = m_body.angularVelocity = NxVec3(0, 0, 0);
        m_scene.onBodiesChanged();
    }
}

void Actor::clearBodyFlag(NxBodyFlag flag) {
    if (!m_dynamic) return;
    m_scene.waitForStep();
    m_body.flags &= ~NxU32(flag);
    if (flag == NX_BF_KINEMATIC) {
        m_body.hasTarget = false;
        wake();
        m_scene.onBodiesChanged();
    }
}

void Actor::setGlobalPose(const NxMat34& pose) {
    if (!m_dynamic || !pose.isFinite()) return;
    m_scene.waitForStep();
    m_pose = pose;
    m_body.hasTarget = false;
    wake();
}

void Actor::setGlobalPosition(const NxVec3& position) {
    NxMat34 p = m_pose;
    p.t = position;
    setGlobalPose(p);
}

void Actor::moveGlobalPose(const NxMat34& pose) {
    if (!isKinematic() || !pose.isFinite()) return;
    m_scene.waitForStep();
    m_body.target = pose;
    m_body.hasTarget = true;
}

void Actor::moveGlobalPosition(const NxVec3& position) {
    NxMat34 p = m_pose;
    p.t = position;
    moveGlobalPose(p);
}

void Actor::setLinearVelocity(const NxVec3& velocity) {
    if (!isSimulated() || !velocity.isFinite()) return;
    m_scene.waitForStep();
    m_body.linearVelocity = velocity;
    wake();
}

void Actor::setAngularVelocity(const NxVec3& velocity) {
    if (!isSimulated() || !velocity.isFinite()) return;
    m_scene.waitForStep();
    m_body.angularVelocity = velocity;
    wake();
}

void Actor::addForce(const NxVec3& force) {
    if (!isSimulated() || !force.isFinite()) return;
    m_scene.waitForStep();
    m_body.force += force;
    wake();
}

}  // namespace nxsdk
