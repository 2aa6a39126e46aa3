#include "platform/physx/physics_scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace nxsdk {

// One contact point of a simulated body, with the impulses accumulated on it.
struct RigidContact {
    Actor* body = nullptr;
    Actor* other = nullptr;  // kinematic or static actor it touches (moves the surface)
    NxVec3 point;
    NxVec3 normal;  // out of the other shape, toward the body
    float depth = 0.0f;
    float friction = 0.0f;
    float restitution = 0.0f;
    NxVec3 r;  // point relative to the body's centre of mass
    NxVec3 t1, t2;
    float massN = 0.0f, massT1 = 0.0f, massT2 = 0.0f;
    float bias = 0.0f;
    float accN = 0.0f, accT1 = 0.0f, accT2 = 0.0f;
};

namespace {

constexpr const char* kStatNames[] = {
    "Actors",
    "DynamicActors",
    "StaticShapes",
    "DynamicShapes",
    "Fluids",
    "FluidParticles",
    "FluidEmitters",
    "FluidParticlesEmitted",
    "FluidParticlesExpired",
    "FluidNeighbourPairs",
    "FluidPairEvaluations",
    "SubSteps",
};
constexpr NxU32 kNoParent = 0xFFFFFFFFu;

NxI32 clampStat(uint64_t v) {
    return v > uint64_t(std::numeric_limits<NxI32>::max()) ? std::numeric_limits<NxI32>::max()
                                                           : NxI32(v);
}

// ---------------------------------------------------------------------------------------
// Rigid bodies: contacts of a simulated body with the other shapes, solved with sequential
// impulses. The bodies here are few and simple (a pillar standing on the ground), so every
// corner of a box and the centre of a sphere is a contact candidate.

// Slop: overlap left alone so that resting contacts persist (metres); the share of the
// remaining overlap removed per step; the impact speed above which contacts bounce.
constexpr float kSlop = 0.005f;
constexpr float kBaumgarte = 0.2f;
constexpr float kBounceThreshold = 1.0f;

NxVec3 applyWorldInvInertia(const Actor& a, const NxVec3& v) {
    const NxMat33& R = a.getGlobalOrientation();
    const NxVec3 local = R.multiplyByTranspose(v);
    const NxVec3& inv = a.body().invInertia;
    return R * NxVec3(local.x * inv.x, local.y * inv.y, local.z * inv.z);
}

void boxCorners(const ShapeCore& c, const NxMat34& pose, NxVec3 out[8]) {
    const NxVec3& e = c.halfExtents;
    for (int k = 0; k < 8; ++k)
        out[k] = pose * NxVec3(k & 1 ? e.x : -e.x, k & 2 ? e.y : -e.y, k & 4 ? e.z : -e.z);
}

// Point p against a shape (grown by skin): the outward normal and depth when touching.
bool pointContact(const ShapeCore& s, const NxMat34& pose, const NxVec3& p, float skin, NxVec3& n,
                  float& depth) {
    switch (s.type) {
        case NX_SHAPE_PLANE: {
            const float d = s.plane.normal.dot(p) - s.plane.d;
            if (d > skin) return false;
            n = s.plane.normal;
            depth = -d;
            return true;
        }
        case NX_SHAPE_SPHERE: {
            const NxVec3 f = p - pose.t;
            const float dist = f.magnitude();
            if (dist > s.radius + skin) return false;
            n = dist > 1e-6f ? f * (1.0f / dist) : NxVec3(0, 1, 0);
            depth = s.radius - dist;
            return true;
        }
        case NX_SHAPE_BOX: {
            const NxVec3 l = pose.M.multiplyByTranspose(p - pose.t);
            const NxVec3& e = s.halfExtents;
            if (std::fabs(l.x) > e.x + skin || std::fabs(l.y) > e.y + skin ||
                std::fabs(l.z) > e.z + skin)
                return false;
            int axis = 0;
            float best = e.x - std::fabs(l.x);
            for (int k = 1; k < 3; ++k)
                if (e[k] - std::fabs(l[k]) < best) {
                    best = e[k] - std::fabs(l[k]);
                    axis = k;
                }
            NxVec3 nl(0, 0, 0);
            nl[axis] = l[axis] < 0.0f ? -1.0f : 1.0f;
            n = pose.M * nl;
            depth = best;
            return true;
        }
        default:
            return false;
    }
}

// Closest point of a box to p (p itself when inside).
NxVec3 closestOnBox(const ShapeCore& s, const NxMat34& pose, const NxVec3& p) {
    NxVec3 l = pose.M.multiplyByTranspose(p - pose.t);
    for (int k = 0; k < 3; ++k) l[k] = std::clamp(l[k], -s.halfExtents[k], s.halfExtents[k]);
    return pose * l;
}

float combine(float a, float b, NxCombineMode mode) {
    switch (mode) {
        case NX_CM_MIN:
            return std::min(a, b);
        case NX_CM_MULTIPLY:
            return a * b;
        case NX_CM_MAX:
            return std::max(a, b);
        default:
            return 0.5f * (a + b);
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction and objects

Scene::Scene(NxPhysicsSDK& sdk, const NxSceneDesc& desc, WorkerPool& pool, unsigned helpers,
             std::shared_ptr<ClDevice> device)
    : m_sdk(sdk),
      m_desc(desc),
      m_pool(pool),
      m_helpers(helpers),
      m_device(std::move(device)),
      m_maxTimestep(desc.maxTimestep),
      m_maxIter(desc.maxIter),
      m_method(desc.timeStepMethod) {
    userData = desc.userData;
    if (desc.maxBounds) {
        m_bounds = *desc.maxBounds;
        m_hasBounds = true;
    }
    m_desc.maxBounds = nullptr;  // never keep the caller's pointers
    m_desc.limits = nullptr;
    m_materials.push_back(std::make_unique<Material>(*this, 0, NxMaterialDesc()));
    if (desc.flags & NX_SF_SIMULATE_SEPARATE_THREAD) m_thread = std::make_unique<TaskThread>();
    for (auto& stats : m_stats) {
        for (int k = 0; k < kStatCount; ++k) {
            stats[k].name = kStatNames[k];
            stats[k].parent = kNoParent;
        }
        stats[kStatDynamicActors].parent = kStatActors;
        for (int k : {kStatFluidParticles, kStatFluidEmitters, kStatFluidEmitted, kStatFluidExpired,
                      kStatNeighbourPairs, kStatPairEvaluations})
            stats[k].parent = kStatFluids;
    }
    for (auto& view : m_stats2) {
        view.numStats = kStatCount;
    }
    m_stats2[0].stats = m_stats[0].data();
    m_stats2[1].stats = m_stats[1].data();
    m_published.store(&m_stats2[0], std::memory_order_release);

    // Ground and bounding planes asked for by the descriptor.
    auto addPlane = [this](const NxVec3& n, float d) {
        NxPlaneShapeDesc plane;
        plane.normal = n;
        plane.d = d;
        NxActorDesc actor;
        actor.shapes.pushBack(&plane);
        createActor(actor);
    };
    if (desc.groundPlane) addPlane(NxVec3(0, 1, 0), 0.0f);
    if (desc.boundsPlanes && m_hasBounds) {
        for (int k = 0; k < 3; ++k) {
            NxVec3 n(0, 0, 0);
            n[k] = 1.0f;
            addPlane(n, m_bounds.min[k]);
            n[k] = -1.0f;
            addPlane(n, -m_bounds.max[k]);
        }
    }
}

Scene::~Scene() {
    waitForStep();
    for (Fluid* f : m_fluids) delete f;
    for (Actor* a : m_actors) delete a;
}

NxPhysicsSDK& Scene::getPhysicsSDK() {
    return m_sdk;
}

void Scene::setGravity(const NxVec3& gravity) {
    if (!gravity.isFinite()) return;
    waitForStep();
    m_desc.gravity = gravity;
}

float Scene::skinWidth() const {
    return m_sdk.getParameter(NX_SKIN_WIDTH);
}

NxActor* Scene::createActor(const NxActorDesc& desc) {
    if (!desc.isValid()) return nullptr;
    waitForStep();
    const float lin = m_sdk.getParameter(NX_DEFAULT_SLEEP_LIN_VEL_SQUARED);
    const float ang = m_sdk.getParameter(NX_DEFAULT_SLEEP_ANG_VEL_SQUARED);
    Actor* actor = new (std::nothrow) Actor(*this, desc, skinWidth(), lin, ang);
    if (!actor) return nullptr;
    if (actor->getNbShapes() != desc.shapes.size()) {
        delete actor;
        return nullptr;
    }
    m_actors.push_back(actor);
    onBodiesChanged();
    return actor;
}

void Scene::releaseActor(NxActor& actor) {
    auto it = std::find(m_actors.begin(), m_actors.end(), &actor);
    if (it == m_actors.end()) return;
    waitForStep();
    for (const ShapeCore* core : (*it)->cores())
        for (Fluid* f : m_fluids) f->onShapeReleased(core);
    delete *it;
    m_actors.erase(it);
    onBodiesChanged();
}

NxActor** Scene::getActors() {
    return m_actors.empty() ? nullptr : reinterpret_cast<NxActor**>(m_actors.data());
}

void Scene::onBodiesChanged() {
    m_pushable.clear();
    size_t shapes = 0;
    for (Actor* a : m_actors) {
        if (a->isSimulated()) m_pushable.push_back(a);
        shapes += a->getNbShapes();
    }
    m_shapeSnapshot.reserve(shapes);
}

uint32_t Scene::pushIndexOf(const Actor* actor) const {
    for (size_t k = 0; k < m_pushable.size(); ++k)
        if (m_pushable[k] == actor) return uint32_t(k);
    return kNoBody;
}

ShapeCore* Scene::findShape(const NxShape* shape) const {
    if (!shape) return nullptr;
    for (Actor* a : m_actors) {
        const auto& shapes = a->getShapes();
        for (NxU32 k = 0; k < a->getNbShapes(); ++k)
            if (shapes[k] == shape) return a->cores()[k];
    }
    return nullptr;
}

NxMaterial* Scene::createMaterial(const NxMaterialDesc& desc) {
    if (!desc.isValid()) return nullptr;
    waitForStep();
    // Reuse a released index before growing.
    for (size_t k = 1; k < m_materials.size(); ++k)
        if (!m_materials[k]) {
            m_materials[k] = std::make_unique<Material>(*this, NxMaterialIndex(k), desc);
            return m_materials[k].get();
        }
    if (m_materials.size() >= 0xFFFF) return nullptr;
    m_materials.push_back(
        std::make_unique<Material>(*this, NxMaterialIndex(m_materials.size()), desc));
    return m_materials.back().get();
}

void Scene::releaseMaterial(NxMaterial& material) {
    const NxMaterialIndex index = material.getMaterialIndex();
    if (index == 0 || index >= m_materials.size() || m_materials[index].get() != &material)
        return;  // the default material stays
    waitForStep();
    m_materials[index].reset();
}

NxU32 Scene::getNbMaterials() const {
    NxU32 n = 0;
    for (const auto& m : m_materials) n += m ? 1 : 0;
    return n;
}

NxMaterial* Scene::getMaterialFromIndex(NxMaterialIndex index) {
    return index < m_materials.size() ? m_materials[index].get() : nullptr;
}

const NxMaterialDesc* Scene::material(NxMaterialIndex index) const {
    if (index < m_materials.size() && m_materials[index]) return &m_materials[index]->desc();
    return &m_materials[0]->desc();
}

NxCompartment* Scene::createCompartment(const NxCompartmentDesc& desc) {
    // Only fluid compartments on the CPU: there is no physics hardware to put others on.
    if (!desc.isValid() || desc.type != NX_SCT_FLUID || desc.deviceCode != NX_DC_CPU)
        return nullptr;
    waitForStep();
    Compartment* c = new (std::nothrow) Compartment(desc);
    if (!c) return nullptr;
    m_compartments.emplace_back(c);
    return c;
}

NxFluid* Scene::createFluid(const NxFluidDesc& desc) {
    if (!desc.isValid()) return nullptr;
    // A hardware fluid needs a hardware scene; the software fluids of a hardware scene run
    // on the CPU beside it.
    const bool hardware = (desc.flags & NX_FF_HARDWARE) != 0;
    if (hardware && !m_device) return nullptr;
    NxCompartment* compartment = desc.compartment;
    if (compartment) {
        bool mine = false;
        for (const auto& c : m_compartments) mine = mine || c.get() == compartment;
        if (!mine || compartment->getType() != NX_SCT_FLUID) return nullptr;
    }
    waitForStep();
    Fluid* fluid =
        new (std::nothrow) Fluid(*this, desc, compartment, hardware ? m_device : nullptr);
    if (!fluid) return nullptr;
    if (!fluid->allocate()) {
        delete fluid;
        return nullptr;
    }
    m_fluids.push_back(fluid);
    return fluid;
}

void Scene::releaseFluid(NxFluid& fluid) {
    auto it = std::find(m_fluids.begin(), m_fluids.end(), &fluid);
    if (it == m_fluids.end()) return;
    waitForStep();
    delete *it;
    m_fluids.erase(it);
}

NxFluid** Scene::getFluids() {
    return m_fluids.empty() ? nullptr : reinterpret_cast<NxFluid**>(m_fluids.data());
}

// ---------------------------------------------------------------------------------------
// Timing and step scheduling

void Scene::setTiming(NxReal maxTimestep, NxU32 maxIter, NxTimeStepMethod method) {
    if (!(std::isfinite(maxTimestep) && maxTimestep > 0.0f) || maxIter < 1 || maxIter > 128 ||
        (method != NX_TIMESTEP_FIXED && method != NX_TIMESTEP_VARIABLE))
        return;
    m_maxTimestep = maxTimestep;
    m_maxIter = maxIter;
    m_method = method;
}

void Scene::getTiming(NxReal& maxTimestep, NxU32& maxIter, NxTimeStepMethod& method,
                      NxU32* numSubSteps) const {
    maxTimestep = m_maxTimestep;
    maxIter = m_maxIter;
    method = m_method;
    if (numSubSteps) *numSubSteps = m_lastSubSteps;
}

void Scene::simulate(NxReal elapsedTime) {
    if (m_running) return;
    const double elapsed =
        std::isfinite(elapsedTime) && elapsedTime > 0.0f ? double(elapsedTime) : 0.0;
    if (m_method == NX_TIMESTEP_FIXED) {
        // Whole sub-steps of the fixed length; a sliver of rounding (one part in 10^4 of a
        // sub-step) still counts as a whole one, so 0.02 s at 0.02 s is one sub-step.
        m_accumulator += elapsed;
        const double steps = std::floor(m_accumulator / m_maxTimestep + 1e-4);
        const uint32_t n = uint32_t(std::min<double>(steps, m_maxIter));
        m_accumulator = std::max(0.0, m_accumulator - double(n) * m_maxTimestep);
        // Time the sub-step limit cut off is dropped, not owed to later steps.
        m_accumulator = std::min<double>(m_accumulator, m_maxTimestep);
        m_pendingSubSteps = n;
        m_pendingDt = m_maxTimestep;
    } else {
        const double total = std::min<double>(elapsed, double(m_maxTimestep) * m_maxIter);
        m_pendingSubSteps = total > 0.0 ? 1 : 0;
        m_pendingDt = float(total);
    }
    m_running = true;
    if (m_thread)
        m_thread->start([](void* self) { static_cast<Scene*>(self)->runStep(); }, this);
    else
        runStep();
}

bool Scene::stepDone() const {
    return !m_thread || m_thread->idle();
}

void Scene::waitForStep() {
    if (m_running && m_thread) m_thread->wait();
}

bool Scene::checkResults(NxSimulationStatus, bool block) {
    if (!m_running) return true;
    if (block) waitForStep();
    return stepDone();
}

bool Scene::fetchResults(NxSimulationStatus, bool block, NxU32* errorState) {
    if (errorState) *errorState = 0;
    if (!m_running) return false;
    if (block)
        waitForStep();
    else if (!stepDone())
        return false;
    // A device error fails the step: its fluid's buffers keep the last good hand-over and
    // the caller learns the error's code (the OpenCL code, made positive).
    NxU32 error = 0;
    for (Fluid* f : m_fluids) {
        if (f->deviceError() != 0) {
            if (error == 0) error = NxU32(-int64_t(f->deviceError()));
            continue;
        }
        f->writeResults(m_pool, m_helpers);
    }
    if (errorState) *errorState = error;
    publishStats();
    m_running = false;
    return true;
}

void Scene::runStep() {
    for (Fluid* f : m_fluids) f->stepStats() = FluidStepStats{};
    const uint32_t n = m_pendingSubSteps;
    const float dt = m_pendingDt;
    // Kinematic bodies moved by the user glide to their target over the whole step.
    const float total = dt * float(n);
    for (Actor* a : m_actors) {
        if (!a->isKinematic()) continue;
        BodyState& b = a->body();
        b.linearVelocity = b.hasTarget && total > 0.0f ? (b.target.t - a->pose().t) * (1.0f / total)
                                                       : NxVec3(0, 0, 0);
        b.angularVelocity = NxVec3(0, 0, 0);
    }
    for (uint32_t s = 0; s < n; ++s) subStep(dt);
    for (Actor* a : m_actors) {
        if (!a->isKinematic() || !a->body().hasTarget || n == 0) continue;
        a->pose() = a->body().target;
        a->body().hasTarget = false;
    }
    m_lastSubSteps = n;
}

void Scene::subStep(float dt) {
    applyFluidPushes();
    stepRigidBodies(dt);
    snapshotShapes();
    stepFluids(dt);
}

void Scene::snapshotShapes() {
    m_shapeSnapshot.clear();
    for (Actor* a : m_actors) {
        if (a->getFlags() & (NX_AF_DISABLE_COLLISION | NX_AF_FLUID_DISABLE_COLLISION)) continue;
        const uint32_t body = pushIndexOf(a);
        for (const ShapeCore* core : a->cores()) {
            if (core->flags & (NX_SF_DISABLE_COLLISION | NX_SF_FLUID_DISABLE_COLLISION)) continue;
            CollisionShape s;
            s.type = core->type;
            s.onBody = a->isDynamic();
            s.drain = (core->flags & NX_SF_FLUID_DRAIN) != 0;
            s.body = body;
            s.pose = core->globalPose();
            if (core->type == NX_SHAPE_PLANE) {
                s.normal = core->plane.normal;
                s.d = core->plane.d;
            } else if (core->type == NX_SHAPE_SPHERE) {
                s.radius = core->radius;
                s.boundsMin = s.pose.t - NxVec3(core->radius);
                s.boundsMax = s.pose.t + NxVec3(core->radius);
            } else {
                s.halfExtents = core->halfExtents;
                NxVec3 ext;
                for (int r = 0; r < 3; ++r)
                    ext[r] = std::fabs(s.pose.M.m[r][0]) * core->halfExtents.x +
                             std::fabs(s.pose.M.m[r][1]) * core->halfExtents.y +
                             std::fabs(s.pose.M.m[r][2]) * core->halfExtents.z;
                s.boundsMin = s.pose.t - ext;
                s.boundsMax = s.pose.t + ext;
            }
            if (a->isDynamic()) {
                s.linearVelocity = a->body().linearVelocity;
                s.angularVelocity = a->body().angularVelocity;
                s.centreOfMass = a->centreOfMassWorld();
            }
            m_shapeSnapshot.push_back(s);
        }
    }
}

namespace {

struct CompartmentTask {
    Fluid* const* fluids = nullptr;
    size_t count = 0;
    const NxCompartment* compartment = nullptr;
    FluidStepContext ctx;
};

void runCompartment(void* p) {
    auto* task = static_cast<CompartmentTask*>(p);
    for (size_t k = 0; k < task->count; ++k)
        if (task->fluids[k]->getCompartment() == task->compartment)
            task->fluids[k]->step(task->ctx);
}

}  // namespace

void Scene::stepFluids(float dt) {
    if (m_fluids.empty()) return;
    FluidStepContext ctx;
    ctx.dt = dt;
    ctx.gravity = m_desc.gravity;
    ctx.shapes = m_shapeSnapshot.data();
    ctx.shapeCount = uint32_t(m_shapeSnapshot.size());
    ctx.bodyCount = uint32_t(m_pushable.size());
    ctx.pool = &m_pool;
    ctx.helpers = m_helpers;
    ctx.bounds = m_hasBounds ? &m_bounds : nullptr;
    ctx.passSet = m_passSet;
    for (Fluid* f : m_fluids) f->captureEmitterFrames();

    // Fluids of a compartment step on its thread while the others step here. When this
    // thread would have nothing of its own to step, it steps the last busy compartment
    // itself rather than wake a thread and wait for it.
    bool ownFluids = false;
    for (Fluid* f : m_fluids) ownFluids = ownFluids || !f->getCompartment();
    const Compartment* last = nullptr;
    for (const auto& c : m_compartments)
        for (Fluid* f : m_fluids)
            if (f->getCompartment() == c.get()) last = c.get();
    constexpr size_t kMaxConcurrent = 16;
    CompartmentTask tasks[kMaxConcurrent];
    size_t started = 0;
    for (const auto& c : m_compartments) {
        bool used = false;
        for (Fluid* f : m_fluids) used = used || f->getCompartment() == c.get();
        if (!used) continue;
        CompartmentTask& t = tasks[started % kMaxConcurrent];
        // More busy compartments than slots, or the last one with nothing else to do here.
        if (started >= kMaxConcurrent || (!ownFluids && c.get() == last)) {
            CompartmentTask inlineTask{m_fluids.data(), m_fluids.size(), c.get(), ctx};
            inlineTask.ctx.dt = dt * c->getTimeScale();
            runCompartment(&inlineTask);
            continue;
        }
        t = CompartmentTask{m_fluids.data(), m_fluids.size(), c.get(), ctx};
        t.ctx.dt = dt * c->getTimeScale();
        c->thread().start(&runCompartment, &t);
        ++started;
    }
    for (Fluid* f : m_fluids)
        if (!f->getCompartment()) f->step(ctx);
    for (const auto& c : m_compartments) c->thread().wait();
}

void Scene::applyFluidPushes() {
    for (Fluid* f : m_fluids) {
        const auto& pushes = f->pushes();
        for (size_t b = 0; b < pushes.size() && b < m_pushable.size(); ++b) {
            m_pushable[b]->body().pushLinear += pushes[b].linear;
            m_pushable[b]->body().pushAngular += pushes[b].angular;
        }
    }
}

void Scene::stepRigidBodies(float dt) {
    if (m_pushable.empty() || !(dt > 0.0f)) return;
    applyBodyForces(dt);
    findBodyContacts();
    solveBodyContacts(dt);
    integrateBodies(dt);
    updateBodySleep(dt);
}

// Forces, fluid pushes and damping; sleeping bodies wake when pushed hard enough.
void Scene::applyBodyForces(float dt) {
    const NxVec3 g = m_desc.gravity;
    for (Actor* a : m_pushable) {
        BodyState& b = a->body();
        const NxVec3 dv = b.pushLinear * b.invMass;
        const NxVec3 dw = applyWorldInvInertia(*a, b.pushAngular);
        if (b.sleeping) {
            // A sleeping body keeps what it is given until that would move it faster than
            // it may sleep: a steady trickle wakes it as surely as one blow.
            if (dv.magnitudeSquared() > b.sleepLinear2 || dw.magnitudeSquared() > b.sleepAngular2 ||
                b.force.magnitudeSquared() > 0.0f)
                a->wake();
            else
                continue;
        }
        b.pushLinear = b.pushAngular = NxVec3(0, 0, 0);
        b.linearVelocity += dv;
        b.angularVelocity += dw;
        if (!(b.flags & NX_BF_DISABLE_GRAVITY)) b.linearVelocity += g * dt;
        b.linearVelocity += b.force * (b.invMass * dt);
        b.force = NxVec3(0, 0, 0);
        b.linearVelocity *= 1.0f / (1.0f + b.linearDamping * dt);
        b.angularVelocity *= 1.0f / (1.0f + b.angularDamping * dt);
    }
}

// Contacts of each awake body with the shapes of every other actor.
void Scene::findBodyContacts() {
    m_contacts.clear();
    for (Actor* a : m_pushable) {
        if (a->body().sleeping || (a->getFlags() & NX_AF_DISABLE_COLLISION)) continue;
        const float skin = a->skinWidth();
        const NxVec3 com = a->centreOfMassWorld();
        for (const ShapeCore* sa : a->cores()) {
            if (sa->flags & NX_SF_DISABLE_COLLISION) continue;
            const NxMat34 poseA = sa->globalPose();
            NxVec3 points[8];
            int pointCount = 0;
            float pointRadius = 0.0f;
            if (sa->type == NX_SHAPE_BOX) {
                boxCorners(*sa, poseA, points);
                pointCount = 8;
            } else if (sa->type == NX_SHAPE_SPHERE) {
                points[0] = poseA.t;
                pointCount = 1;
                pointRadius = sa->radius;
            }
            for (Actor* o : m_actors) {
                if (o == a || o->isSimulated() || (o->getFlags() & NX_AF_DISABLE_COLLISION))
                    continue;
                for (const ShapeCore* sb : o->cores()) {
                    if (sb->flags & NX_SF_DISABLE_COLLISION) continue;
                    const NxMat34 poseB = sb->globalPose();
                    const NxMaterialDesc* ma = material(sa->material);
                    const NxMaterialDesc* mb = material(sb->material);
                    auto add = [&](const NxVec3& p, const NxVec3& n, float depth) {
                        RigidContact c;
                        c.body = a;
                        c.other = o->isDynamic() ? o : nullptr;
                        c.point = p;
                        c.normal = n;
                        c.depth = depth;
                        c.friction = combine(ma->dynamicFriction, mb->dynamicFriction,
                                             ma->frictionCombineMode);
                        c.restitution =
                            combine(ma->restitution, mb->restitution, ma->restitutionCombineMode);
                        c.r = p - com;
                        m_contacts.push_back(c);
                    };
                    for (int k = 0; k < pointCount; ++k) {
                        NxVec3 n;
                        float depth;
                        if (pointContact(*sb, poseB, points[k], skin + pointRadius, n, depth))
                            add(points[k] - n * pointRadius, n, depth + pointRadius);
                    }
                    if (sa->type == NX_SHAPE_BOX && sb->type == NX_SHAPE_SPHERE) {
                        // A sphere pressing on a face, away from the corners.
                        const NxVec3 q = closestOnBox(*sa, poseA, poseB.t);
                        const NxVec3 f = q - poseB.t;
                        const float dist = f.magnitude();
                        if (dist > 1e-6f && dist < sb->radius + skin)
                            add(q, f * (1.0f / dist), sb->radius - dist);
                    } else if (sa->type == NX_SHAPE_BOX && sb->type == NX_SHAPE_BOX) {
                        // Corners of the other box inside this one.
                        NxVec3 corners[8];
                        boxCorners(*sb, poseB, corners);
                        for (const NxVec3& p : corners) {
                            NxVec3 n;
                            float depth;
                            if (pointContact(*sa, poseA, p, skin, n, depth)) add(p, -n, depth);
                        }
                    }
                }
            }
        }
    }
}

// Sequential impulses.
void Scene::solveBodyContacts(float dt) {
    uint32_t iterations = 4;
    for (RigidContact& c : m_contacts) {
        Actor& a = *c.body;
        const float invMass = a.body().invMass;
        auto effMass = [&](const NxVec3& dir) {
            const NxVec3 rc = c.r.cross(dir);
            const float k = invMass + applyWorldInvInertia(a, rc).cross(c.r).dot(dir);
            return k > 0.0f ? 1.0f / k : 0.0f;
        };
        const NxVec3 helper = std::fabs(c.normal.x) < 0.57f ? NxVec3(1, 0, 0) : NxVec3(0, 1, 0);
        c.t1 = c.normal.cross(helper);
        c.t1.normalize();
        c.t2 = c.normal.cross(c.t1);
        c.massN = effMass(c.normal);
        c.massT1 = effMass(c.t1);
        c.massT2 = effMass(c.t2);
        const NxVec3 vs = c.other ? c.other->pointVelocity(c.point) : NxVec3(0, 0, 0);
        const float vn = (a.pointVelocity(c.point) - vs).dot(c.normal);
        c.bias = kBaumgarte / dt * std::max(0.0f, c.depth - kSlop);
        if (-vn > kBounceThreshold) c.bias = std::max(c.bias, -c.restitution * vn);
        iterations = std::max(iterations, a.body().solverIterations);
    }
    for (uint32_t it = 0; it < 2 * iterations; ++it) {
        for (RigidContact& c : m_contacts) {
            Actor& a = *c.body;
            BodyState& b = a.body();
            const NxVec3 vs = c.other ? c.other->pointVelocity(c.point) : NxVec3(0, 0, 0);
            auto applyImpulse = [&](const NxVec3& j) {
                b.linearVelocity += j * b.invMass;
                b.angularVelocity += applyWorldInvInertia(a, c.r.cross(j));
            };
            NxVec3 vr = a.pointVelocity(c.point) - vs;
            float dn = c.massN * (c.bias - vr.dot(c.normal));
            const float newN = std::max(0.0f, c.accN + dn);
            dn = newN - c.accN;
            c.accN = newN;
            applyImpulse(c.normal * dn);

            const float maxT = c.friction * c.accN;
            vr = a.pointVelocity(c.point) - vs;
            float d1 = -c.massT1 * vr.dot(c.t1);
            const float new1 = std::clamp(c.accT1 + d1, -maxT, maxT);
            d1 = new1 - c.accT1;
            c.accT1 = new1;
            float d2 = -c.massT2 * vr.dot(c.t2);
            const float new2 = std::clamp(c.accT2 + d2, -maxT, maxT);
            d2 = new2 - c.accT2;
            c.accT2 = new2;
            applyImpulse(c.t1 * d1 + c.t2 * d2);
        }
    }
}

// Velocities clamped, poses moved; a body that leaves the world's bounds stops and sleeps.
void Scene::integrateBodies(float dt) {
    for (Actor* a : m_pushable) {
        BodyState& b = a->body();
        if (b.sleeping) continue;
        const float w = b.angularVelocity.magnitude();
        if (w > b.maxAngularVelocity) b.angularVelocity *= b.maxAngularVelocity / w;
        if (!b.linearVelocity.isFinite() || !b.angularVelocity.isFinite())
            b.linearVelocity = b.angularVelocity = NxVec3(0, 0, 0);
        NxMat34& pose = a->pose();
        const NxVec3 comBefore = a->centreOfMassWorld();
        // Rotate about the centre of mass: R' = (I + [w dt]x) R, then orthonormalised.
        const NxVec3 wdt = b.angularVelocity * dt;
        NxMat33 R = pose.M;
        NxVec3 c0 = R.getColumn(0), c1 = R.getColumn(1);
        c0 += wdt.cross(c0);
        c1 += wdt.cross(c1);
        c0.normalize();
        c1 -= c0 * c0.dot(c1);
        c1.normalize();
        R.setColumn(0, c0);
        R.setColumn(1, c1);
        R.setColumn(2, c0.cross(c1));
        pose.M = R;
        pose.t = comBefore + b.linearVelocity * dt - R * b.centreOfMass;
        if (m_hasBounds && !m_bounds.contain(a->centreOfMassWorld())) {
            // Out of the world: it stops where it is.
            b.linearVelocity = b.angularVelocity = NxVec3(0, 0, 0);
            b.sleeping = true;
        }
    }
}

// A body slower than its sleep thresholds for its wake-up time falls asleep.
void Scene::updateBodySleep(float dt) {
    for (Actor* a : m_pushable) {
        BodyState& b = a->body();
        if (b.sleeping) continue;
        if (b.linearVelocity.magnitudeSquared() < b.sleepLinear2 &&
            b.angularVelocity.magnitudeSquared() < b.sleepAngular2) {
            b.slowTime += dt;
            if (b.slowTime >= b.wakeUpTime) {
                b.sleeping = true;
                b.linearVelocity = b.angularVelocity = NxVec3(0, 0, 0);
            }
        } else {
            b.slowTime = 0.0f;
        }
    }
}

void Scene::publishStats() {
    NxI32 values[kStatCount] = {};
    values[kStatActors] = NxI32(m_actors.size());
    for (Actor* a : m_actors) {
        values[kStatDynamicActors] += a->isDynamic() ? 1 : 0;
        (a->isDynamic() ? values[kStatDynamicShapes] : values[kStatStaticShapes]) +=
            NxI32(a->getNbShapes());
    }
    values[kStatFluids] = NxI32(m_fluids.size());
    uint64_t pairs = 0, evaluations = 0, emitted = 0, expired = 0, particles = 0;
    for (Fluid* f : m_fluids) {
        particles += f->liveCount();
        values[kStatFluidEmitters] += NxI32(f->getNbEmitters());
        pairs += f->stepStats().neighbourPairs;
        evaluations += f->stepStats().pairEvaluations;
        emitted += f->stepStats().emitted;
        expired += f->stepStats().expired;
    }
    values[kStatFluidParticles] = clampStat(particles);
    values[kStatFluidEmitted] = clampStat(emitted);
    values[kStatFluidExpired] = clampStat(expired);
    values[kStatNeighbourPairs] = clampStat(pairs);
    values[kStatPairEvaluations] = clampStat(evaluations);
    values[kStatSubSteps] = NxI32(m_lastSubSteps);
    // Written into the copy readers are not given, then handed out: a reader on another
    // thread (a statistics dump) sees one whole step's values.
    const int next = m_published.load(std::memory_order_relaxed) == &m_stats2[0] ? 1 : 0;
    const auto& previous = m_stats[size_t(1 - next)];
    auto& stats = m_stats[size_t(next)];
    for (int k = 0; k < kStatCount; ++k) {
        stats[k].curValue = values[k];
        stats[k].maxValue = std::max(previous[k].maxValue, values[k]);
    }
    m_published.store(&m_stats2[next], std::memory_order_release);
}

}  // namespace nxsdk
