#pragma once
// The rigid objects of a scene: materials, shapes, actors with their bodies, compartments.
// Internal to the SDK; the public face is nx_actor.h and nx_scene.h.

#include <memory>
#include <vector>

#include "platform/physx/nx_physics.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

class Scene;
class Actor;

class Material final : public NxMaterial {
  public:
    Material(Scene& scene, NxMaterialIndex index, const NxMaterialDesc& desc)
        : m_scene(scene), m_index(index), m_desc(desc) {}

    void loadFromDesc(const NxMaterialDesc& desc) override {
        if (desc.isValid()) m_desc = desc;
    }
    void saveToDesc(NxMaterialDesc& desc) const override { desc = m_desc; }
    NxMaterialIndex getMaterialIndex() const override { return m_index; }
    NxScene& getScene() const override;
    void setDynamicFriction(NxReal coef) override {
        if (std::isfinite(coef) && coef >= 0.0f) m_desc.dynamicFriction = coef;
    }
    NxReal getDynamicFriction() const override { return m_desc.dynamicFriction; }
    void setStaticFriction(NxReal coef) override {
        if (std::isfinite(coef) && coef >= 0.0f) m_desc.staticFriction = coef;
    }
    NxReal getStaticFriction() const override { return m_desc.staticFriction; }
    void setRestitution(NxReal rest) override {
        if (std::isfinite(rest) && rest >= 0.0f && rest <= 1.0f) m_desc.restitution = rest;
    }
    NxReal getRestitution() const override { return m_desc.restitution; }

    const NxMaterialDesc& desc() const { return m_desc; }

  private:
    Scene& m_scene;
    NxMaterialIndex m_index;
    NxMaterialDesc m_desc;
};

/// What the simulation needs of a shape, whatever its public interface.
struct ShapeCore {
    NxShapeType type = NX_SHAPE_BOX;
    NxMat34 localPose;
    NxVec3 halfExtents;   ///< box
    float radius = 0.0f;  ///< sphere
    NxPlane plane;        ///< plane, in world space
    NxMaterialIndex material = 0;
    NxU32 flags = 0;
    float density = 1.0f;
    float mass = -1.0f;
    Actor* actor = nullptr;
    NxShape* shape = nullptr;  ///< the public object this core belongs to

    NxMat34 globalPose() const;
};

template <class Iface>
class ShapeImpl : public Iface {
  public:
    ShapeCore core;

    NxActor& getActor() const override;
    NxShapeType getType() const override { return core.type; }
    NxMat34 getLocalPose() const override { return core.localPose; }
    NxMat34 getGlobalPose() const override { return core.globalPose(); }
    NxVec3 getGlobalPosition() const override { return core.globalPose().t; }
    NxMaterialIndex getMaterial() const override { return core.material; }
    NxU32 getFlags() const override { return core.flags; }
};

class PlaneShape final : public ShapeImpl<NxPlaneShape> {
  public:
    NxPlaneShape* isPlane() override { return this; }
    NxPlane getPlane() const override { return core.plane; }
};

class SphereShape final : public ShapeImpl<NxSphereShape> {
  public:
    NxSphereShape* isSphere() override { return this; }
    NxReal getRadius() const override { return core.radius; }
};

class BoxShape final : public ShapeImpl<NxBoxShape> {
  public:
    NxBoxShape* isBox() override { return this; }
    NxVec3 getDimensions() const override { return core.halfExtents; }
};

/// Rigid-body state of a dynamic or kinematic actor.
struct BodyState {
    NxVec3 linearVelocity;
    NxVec3 angularVelocity;
    float mass = 0.0f;
    float invMass = 0.0f;
    NxVec3 invInertia;    ///< inverse principal inertia in the actor frame
    NxVec3 centreOfMass;  ///< in the actor frame
    float linearDamping = 0.0f;
    float angularDamping = 0.0f;
    float maxAngularVelocity = 7.0f;
    float sleepLinear2 = 0.0f;  ///< squared speeds below which it may fall asleep
    float sleepAngular2 = 0.0f;
    float wakeUpTime = 0.4f;  ///< seconds slow before it sleeps
    float slowTime = 0.0f;
    bool sleeping = false;
    NxU32 solverIterations = 4;
    NxU32 flags = 0;         ///< NxBodyFlag bits
    NxVec3 force;            ///< user forces for the next step, newtons
    bool hasTarget = false;  ///< kinematic move pending
    NxMat34 target;
    NxVec3 pushLinear;  ///< fluid momentum of the last step, N s
    NxVec3 pushAngular;
};

class Actor final : public NxActor {
  public:
    Actor(Scene& scene, const NxActorDesc& desc, float skinWidth, float sleepLin2, float sleepAng2);
    ~Actor() override;

    NxScene& getScene() const override;
    NxU32 getNbShapes() const override { return NxU32(m_shapes.size()); }
    NxShape* const* getShapes() const override { return m_shapes.data(); }
    bool isDynamic() const override { return m_dynamic; }
    void raiseBodyFlag(NxBodyFlag flag) override;
    void clearBodyFlag(NxBodyFlag flag) override;
    bool readBodyFlag(NxBodyFlag flag) const override {
        return m_dynamic && (m_body.flags & flag) != 0;
    }
    NxU32 getFlags() const override { return m_flags; }
    NxMat34 getGlobalPose() const override { return m_pose; }
    NxVec3 getGlobalPosition() const override { return m_pose.t; }
    NxMat33 getGlobalOrientation() const override { return m_pose.M; }
    void setGlobalPose(const NxMat34& pose) override;
    void setGlobalPosition(const NxVec3& position) override;
    void moveGlobalPose(const NxMat34& pose) override;
    void moveGlobalPosition(const NxVec3& position) override;
    NxVec3 getLinearVelocity() const override { return m_body.linearVelocity; }
    void setLinearVelocity(const NxVec3& velocity) override;
    NxVec3 getAngularVelocity() const override { return m_body.angularVelocity; }
    void setAngularVelocity(const NxVec3& velocity) override;
    NxReal getMass() const override { return isKinematic() ? 0.0f : m_body.mass; }
    void addForce(const NxVec3& force) override;

    bool isKinematic() const { return m_dynamic && (m_body.flags & NX_BF_KINEMATIC); }
    /// A body that gravity, contacts and fluids move.
    bool isSimulated() const { return m_dynamic && !(m_body.flags & NX_BF_KINEMATIC); }
    const std::vector<ShapeCore*>& cores() const { return m_cores; }
    BodyState& body() { return m_body; }
    const BodyState& body() const { return m_body; }
    NxMat34& pose() { return m_pose; }
    /// World position of the centre of mass.
    NxVec3 centreOfMassWorld() const { return m_pose * m_body.centreOfMass; }
    /// Velocity of the world point p attached to the body.
    NxVec3 pointVelocity(const NxVec3& p) const {
        return m_body.linearVelocity + m_body.angularVelocity.cross(p - centreOfMassWorld());
    }
    float skinWidth() const { return m_skinWidth; }
    bool ownsShape(const NxShape* s) const;
    void wake() {
        m_body.sleeping = false;
        m_body.slowTime = 0.0f;
    }

  private:
    void computeMass(const NxActorDesc& desc);

    Scene& m_scene;
    std::vector<NxShape*> m_shapes;
    std::vector<ShapeCore*> m_cores;
    bool m_dynamic = false;
    NxU32 m_flags = 0;
    NxMat34 m_pose;
    BodyState m_body;
    float m_skinWidth = 0.025f;
};

class Compartment final : public NxCompartment {
  public:
    explicit Compartment(const NxCompartmentDesc& desc) : m_desc(desc) {}

    NxCompartmentType getType() const override { return m_desc.type; }
    NxU32 getDeviceCode() const override { return m_desc.deviceCode; }
    NxReal getGridHashCellSize() const override { return m_desc.gridHashCellSize; }
    NxU32 gridHashTablePower() const override { return m_desc.gridHashTablePower; }
    NxU32 getFlags() const override { return m_desc.flags; }
    NxReal getTimeScale() const override { return m_desc.timeScale; }
    void setTimeScale(NxReal scale) override {
        if (std::isfinite(scale) && scale > 0.0f) m_desc.timeScale = scale;
    }

    /// The thread its fluids step on.
    TaskThread& thread() { return m_thread; }

  private:
    NxCompartmentDesc m_desc;
    TaskThread m_thread;
};

}  // namespace nxsdk
