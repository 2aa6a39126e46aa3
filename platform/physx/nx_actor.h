#pragma once
// Rigid actors of our physics SDK: materials, shapes (plane, sphere, box), bodies and actors.
//
// Contents:
//   NxMaterialDesc, NxMaterial
//   NxShapeDesc and NxPlaneShapeDesc, NxSphereShapeDesc, NxBoxShapeDesc
//   NxShape and NxPlaneShape, NxSphereShape, NxBoxShape
//   NxBodyDesc and the body flags (NX_BF_KINEMATIC ...)
//   NxActorDesc and the actor flags, NxActor
//
// An actor without a body is static; with a body it is dynamic, or kinematic once
// NX_BF_KINEMATIC is raised. A dynamic actor falls under the scene's gravity, rests on the
// static and kinematic shapes and takes the push of two-way fluids that collide with it.

#include "platform/physx/nx_foundation.h"

class NxScene;
class NxActor;

// ---------------------------------------------------------------------------------------
// Materials

enum NxCombineMode : int {
    NX_CM_AVERAGE = 0,
    NX_CM_MIN = 1,
    NX_CM_MULTIPLY = 2,
    NX_CM_MAX = 3,
};

enum NxMaterialFlag : int {
    NX_MF_ANISOTROPIC = 1 << 0,       ///< anisotropic friction (accepted; friction stays isotropic)
    NX_MF_DISABLE_FRICTION = 1 << 4,  ///< no friction at all
    NX_MF_DISABLE_STRONG_FRICTION = 1 << 5,
};

struct NxMaterialDesc {
    NxReal dynamicFriction = 0.0f;    ///< Coulomb coefficient while sliding, >= 0; default 0
    NxReal staticFriction = 0.0f;     ///< Coulomb coefficient at rest, >= 0; default 0
    NxReal restitution = 0.0f;        ///< bounciness, 0 (none) to 1 (elastic); default 0
    NxReal dynamicFrictionV = 0.0f;   ///< anisotropic sliding friction, >= 0; default 0
    NxReal staticFrictionV = 0.0f;    ///< anisotropic static friction, >= 0; default 0
    NxVec3 dirOfAnisotropy{1, 0, 0};  ///< unit direction of anisotropy; default +x
    NxU32 flags = 0;                  ///< NxMaterialFlag bits; default 0
    NxCombineMode frictionCombineMode = NX_CM_AVERAGE;     ///< default average
    NxCombineMode restitutionCombineMode = NX_CM_AVERAGE;  ///< default average

    void setToDefault() { *this = NxMaterialDesc(); }
    /// False for negative friction, restitution outside [0, 1], a non-finite value or an
    /// unknown combine mode.
    bool isValid() const;
};

class NxMaterial {
  public:
    /// Replaces every property with the descriptor's; an invalid descriptor changes nothing.
    virtual void loadFromDesc(const NxMaterialDesc& desc) = 0;
    virtual void saveToDesc(NxMaterialDesc& desc) const = 0;
    virtual NxMaterialIndex getMaterialIndex() const = 0;
    virtual NxScene& getScene() const = 0;

    virtual void setDynamicFriction(NxReal coef) = 0;
    virtual NxReal getDynamicFriction() const = 0;
    virtual void setStaticFriction(NxReal coef) = 0;
    virtual NxReal getStaticFriction() const = 0;
    virtual void setRestitution(NxReal rest) = 0;
    virtual NxReal getRestitution() const = 0;

    void* userData = nullptr;

  protected:
    virtual ~NxMaterial() = default;
};

// ---------------------------------------------------------------------------------------
// Shapes

enum NxShapeType : int {
    NX_SHAPE_PLANE = 0,
    NX_SHAPE_SPHERE = 1,
    NX_SHAPE_BOX = 2,
    NX_SHAPE_CAPSULE = 3,  ///< not simulated here: a descriptor of this type is refused
    NX_SHAPE_COUNT,
};

enum NxShapeFlag : int {
    NX_TRIGGER_ON_ENTER = 1 << 0,
    NX_TRIGGER_ON_LEAVE = 1 << 1,
    NX_TRIGGER_ON_STAY = 1 << 2,
    NX_SF_VISUALIZATION = 1 << 3,
    NX_SF_DISABLE_COLLISION = 1 << 4,  ///< the shape collides with nothing
    NX_SF_FEATURE_INDICES = 1 << 5,
    NX_SF_DISABLE_RAYCASTING = 1 << 6,
    NX_SF_POINT_CONTACT_FORCE = 1 << 7,
    NX_SF_FLUID_DRAIN = 1 << 8,               ///< fluid particles touching the shape are removed
    NX_SF_FLUID_DISABLE_COLLISION = 1 << 10,  ///< fluids pass through the shape
    NX_SF_FLUID_TWOWAY = 1 << 11,  ///< accepted; the fluid's NX_FF_COLLISION_TWOWAY decides
    NX_SF_DISABLE_RESPONSE = 1 << 12,
};

/// What every shape descriptor has. The shape's pose is relative to its actor.
class NxShapeDesc {
  public:
    NxShapeType type;                        ///< set by the concrete descriptor
    NxMat34 localPose;                       ///< pose relative to the actor; default identity
    NxU32 shapeFlags = NX_SF_VISUALIZATION;  ///< NxShapeFlag bits; default visualisation
    NxU16 group = 0;                         ///< collision group, 0 to 31; default 0
    NxMaterialIndex materialIndex = 0;       ///< scene material; default 0
    NxReal density = 1.0f;                   ///< kg/m^3 for the body's mass, > 0; default 1
    NxReal mass = -1.0f;                     ///< kg; <= 0 means "from density"; default -1
    NxReal skinWidth = -1.0f;  ///< metres; < 0 means the SDK's NX_SKIN_WIDTH; default -1
    void* userData = nullptr;
    const char* name = nullptr;  ///< not copied: must outlive the shape

    virtual ~NxShapeDesc() = default;
    /// False when a field is out of range or not finite.
    virtual bool isValid() const;

  protected:
    explicit NxShapeDesc(NxShapeType t) : type(t) {}
    NxShapeDesc(const NxShapeDesc&) = default;
    NxShapeDesc& operator=(const NxShapeDesc&) = default;
};

/// The half-space below the plane normal · p = d (in world space: planes belong to static
/// actors and ignore their actor's pose).
class NxPlaneShapeDesc : public NxShapeDesc {
  public:
    NxVec3 normal{0, 1, 0};  ///< unit normal pointing out of the solid; default +y
    NxReal d = 0.0f;         ///< distance of the plane from the origin along normal; default 0

    NxPlaneShapeDesc() : NxShapeDesc(NX_SHAPE_PLANE) {}
    void setToDefault() { *this = NxPlaneShapeDesc(); }
    bool isValid() const override;
};

class NxSphereShapeDesc : public NxShapeDesc {
  public:
    NxReal radius = 1.0f;  ///< metres, > 0; default 1

    NxSphereShapeDesc() : NxShapeDesc(NX_SHAPE_SPHERE) {}
    void setToDefault() { *this = NxSphereShapeDesc(); }
    bool isValid() const override;
};

class NxBoxShapeDesc : public NxShapeDesc {
  public:
    NxVec3 dimensions{1, 1, 1};  ///< half-extents in metres, each > 0; default (1, 1, 1)

    NxBoxShapeDesc() : NxShapeDesc(NX_SHAPE_BOX) {}
    void setToDefault() { *this = NxBoxShapeDesc(); }
    bool isValid() const override;
};

class NxPlaneShape;
class NxSphereShape;
class NxBoxShape;

class NxShape {
  public:
    virtual NxActor& getActor() const = 0;
    virtual NxShapeType getType() const = 0;
    virtual NxMat34 getLocalPose() const = 0;
    /// The actor's pose times the local pose.
    virtual NxMat34 getGlobalPose() const = 0;
    virtual NxVec3 getGlobalPosition() const = 0;
    virtual NxMaterialIndex getMaterial() const = 0;
    virtual NxU32 getFlags() const = 0;

    /// This shape as its concrete type, or null when it is another type.
    virtual NxPlaneShape* isPlane() { return nullptr; }
    virtual NxSphereShape* isSphere() { return nullptr; }
    virtual NxBoxShape* isBox() { return nullptr; }

    void* userData = nullptr;

  protected:
    virtual ~NxShape() = default;
};

class NxPlaneShape : public NxShape {
  public:
    virtual NxPlane getPlane() const = 0;
};

class NxSphereShape : public NxShape {
  public:
    virtual NxReal getRadius() const = 0;
};

class NxBoxShape : public NxShape {
  public:
    /// Half-extents in metres.
    virtual NxVec3 getDimensions() const = 0;
};

// ---------------------------------------------------------------------------------------
// Bodies

enum NxBodyFlag : int {
    NX_BF_DISABLE_GRAVITY = 1 << 0,
    NX_BF_FROZEN_POS_X = 1 << 1,
    NX_BF_FROZEN_POS_Y = 1 << 2,
    NX_BF_FROZEN_POS_Z = 1 << 3,
    NX_BF_FROZEN_ROT_X = 1 << 4,
    NX_BF_FROZEN_ROT_Y = 1 << 5,
    NX_BF_FROZEN_ROT_Z = 1 << 6,
    NX_BF_KINEMATIC = 1 << 7,  ///< 0x80: moved only by the user, never by forces
    NX_BF_VISUALIZATION = 1 << 8,
    NX_BF_FILTER_SLEEP_VEL = 1 << 10,
    NX_BF_ENERGY_SLEEP_TEST = 1 << 11,
};

/// The dynamic part of an actor. With mass 0 the mass comes from the actor's density and
/// its shapes' volumes.
class NxBodyDesc {
  public:
    NxMat34 massLocalPose;               ///< centre of mass frame; default identity
    NxVec3 massSpaceInertia{0, 0, 0};    ///< kg m^2; zero means "from the shapes"; default 0
    NxReal mass = 0.0f;                  ///< kg, >= 0; 0 means "from density"; default 0
    NxVec3 linearVelocity{0, 0, 0};      ///< m/s; default 0
    NxVec3 angularVelocity{0, 0, 0};     ///< rad/s; default 0
    NxReal wakeUpCounter = 0.4f;         ///< seconds awake before it may sleep; default 0.4
    NxReal linearDamping = 0.0f;         ///< 1/s, >= 0; default 0
    NxReal angularDamping = 0.05f;       ///< 1/s, >= 0; default 0.05
    NxReal maxAngularVelocity = -1.0f;   ///< rad/s; < 0 means the SDK default; default -1
    NxReal CCDMotionThreshold = 0.0f;    ///< metres per step above which motion is swept; default 0
    NxU32 flags = NX_BF_VISUALIZATION;   ///< NxBodyFlag bits; default visualisation
    NxReal sleepLinearVelocity = -1.0f;  ///< m/s; < 0: NX_DEFAULT_SLEEP_LIN_VEL_SQUARED; default -1
    NxReal sleepAngularVelocity =
        -1.0f;                       ///< rad/s; < 0: NX_DEFAULT_SLEEP_ANG_VEL_SQUARED; default -1
    NxU32 solverIterationCount = 4;  ///< 1 to 255; default 4
    NxReal sleepEnergyThreshold = -1.0f;  ///< default -1 (SDK default)
    NxReal sleepDamping = 0.0f;           ///< default 0

    void setToDefault() { *this = NxBodyDesc(); }
    bool isValid() const;
};

// ---------------------------------------------------------------------------------------
// Actors

enum NxActorFlag : int {
    NX_AF_DISABLE_COLLISION = 1 << 0,
    NX_AF_DISABLE_RESPONSE = 1 << 1,
    NX_AF_LOCK_COM = 1 << 2,
    NX_AF_FLUID_DISABLE_COLLISION = 1 << 3,  ///< fluids pass through all its shapes
    NX_AF_CONTACT_MODIFICATION = 1 << 4,
    NX_AF_FORCE_CONE_FRICTION = 1 << 5,
    NX_AF_USER_ACTOR_PAIR_FILTERING = 1 << 6,
    /// 0x800: the actor is the scene's ground; it must be static. Marks the actor only.
    NX_AF_GROUND = 1 << 11,
};

class NxActorDesc {
  public:
    NxArray<NxShapeDesc*> shapes;      ///< at least one; copied at creation, not kept
    const NxBodyDesc* body = nullptr;  ///< null: a static actor; not kept after creation
    NxReal density = 0.0f;             ///< kg/m^3 when the body's mass is 0; >= 0; default 0
    NxMat34 globalPose;                ///< pose in the world; default identity
    NxU32 flags = 0;                   ///< NxActorFlag bits; default 0
    NxU16 group = 0;                   ///< actor group; default 0
    void* userData = nullptr;
    const char* name = nullptr;  ///< not copied: must outlive the actor

    void setToDefault() { *this = NxActorDesc(); }
    /// False without shapes, with an invalid shape or body, a non-finite pose, a negative
    /// density, or a dynamic body without mass or density or with a plane shape.
    bool isValid() const;
};

class NxActor {
  public:
    virtual NxScene& getScene() const = 0;

    virtual NxU32 getNbShapes() const = 0;
    /// The actor's shapes in creation order; the first is the only one for our actors.
    virtual NxShape* const* getShapes() const = 0;

    virtual bool isDynamic() const = 0;
    /// Body flags have no effect on a static actor and then read as false.
    virtual void raiseBodyFlag(NxBodyFlag flag) = 0;
    virtual void clearBodyFlag(NxBodyFlag flag) = 0;
    virtual bool readBodyFlag(NxBodyFlag flag) const = 0;
    virtual NxU32 getFlags() const = 0;

    virtual NxMat34 getGlobalPose() const = 0;
    virtual NxVec3 getGlobalPosition() const = 0;
    virtual NxMat33 getGlobalOrientation() const = 0;
    /// Teleports a dynamic or kinematic actor (a static one ignores it).
    virtual void setGlobalPose(const NxMat34& pose) = 0;
    virtual void setGlobalPosition(const NxVec3& position) = 0;
    /// Moves a kinematic actor to the pose by the end of the next step, giving it the
    /// velocity that does so.
    virtual void moveGlobalPose(const NxMat34& pose) = 0;
    virtual void moveGlobalPosition(const NxVec3& position) = 0;

    virtual NxVec3 getLinearVelocity() const = 0;
    virtual void setLinearVelocity(const NxVec3& velocity) = 0;
    virtual NxVec3 getAngularVelocity() const = 0;
    virtual void setAngularVelocity(const NxVec3& velocity) = 0;
    /// kg; 0 for static and kinematic actors.
    virtual NxReal getMass() const = 0;
    /// Adds a force (newtons) applied at the centre of mass during the next step.
    virtual void addForce(const NxVec3& force) = 0;

    void* userData = nullptr;

  protected:
    virtual ~NxActor() = default;
};
